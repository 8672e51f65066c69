// A two-stage accumulate pipeline built from sub-module instances: each stage holds a register
// and an adder instance, and a checksum unit watches the final stage.
module adder #(parameter W = 8) (
    input  wire [W-1:0] a,
    input  wire [W-1:0] b,
    input  wire         cin,
    output wire [W-1:0] sum
);
    assign sum = a + b + cin;
endmodule

module stage #(parameter W = 8) (
    input  wire         clk,
    input  wire         rst,
    input  wire [W-1:0] in,
    input  wire [W-1:0] k,
    input  wire         cin,
    output reg  [W-1:0] out
);
    wire [W-1:0] sum;
    adder #(.W(W)) add (.a(in), .b(k), .cin(cin), .sum(sum));

    always @(posedge clk)
        if (rst) out <= {W{1'b0}};
        else     out <= sum;
endmodule

module checksum (
    input  wire       clk,
    input  wire       rst,
    input  wire [7:0] value,
    output reg  [7:0] sum
);
    always @(posedge clk)
        if (rst) sum <= 8'd0;
        else     sum <= sum ^ value;
endmodule

module pipeline (
    input  wire       clk,
    input  wire       rst,
    input  wire [7:0] in,
    input  wire [7:0] k0,
    input  wire [7:0] k1,
    input  wire       cin,
    output wire [7:0] out,
    output wire [7:0] check
);
    wire [7:0] mid;
    stage #(.W(8)) s0 (.clk(clk), .rst(rst), .in(in),  .k(k0), .cin(cin), .out(mid));
    stage #(.W(8)) s1 (.clk(clk), .rst(rst), .in(mid), .k(k1), .cin(cin), .out(out));
    checksum chk (.clk(clk), .rst(rst), .value(out), .sum(check));
endmodule
