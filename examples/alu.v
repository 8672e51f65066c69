// 16-bit ALU with a registered result and flags.
module alu (
    input  wire        clk,
    input  wire        rst,
    input  wire [3:0]  op,
    input  wire [15:0] a,
    input  wire [15:0] b,
    output reg  [15:0] result,
    output reg         zero,
    output reg         carry,
    output wire        parity
);
    reg [16:0] next;

    always @(*) begin
        case (op)
            4'd0:  next = {1'b0, a} + {1'b0, b};
            4'd1:  next = {1'b0, a} - {1'b0, b};
            4'd2:  next = {1'b0, a & b};
            4'd3:  next = {1'b0, a | b};
            4'd4:  next = {1'b0, a ^ b};
            4'd5:  next = {1'b0, ~(a ^ b)};
            4'd6:  next = {1'b0, a << b[3:0]};
            4'd7:  next = {1'b0, a >> b[3:0]};
            4'd8:  next = {1'b0, $signed(a) >>> b[3:0]};
            4'd9:  next = {16'd0, $signed(a) < $signed(b)};
            4'd10: next = {16'd0, a < b};
            4'd11: next = {16'd0, a == b};
            4'd12: next = {1'b0, a[7:0] * b[7:0]};
            4'd13: next = {1'b0, ~a};
            4'd14: next = {1'b0, a[b[3:0]], a[15:1]};
            default: next = {1'b0, b};
        endcase
    end

    always @(posedge clk) begin
        if (rst) begin
            result <= 16'd0;
            zero   <= 1'b1;
            carry  <= 1'b0;
        end else begin
            result <= next[15:0];
            zero   <= next[15:0] == 16'd0;
            carry  <= next[16];
        end
    end

    assign parity = ^result;
endmodule
