// Byte-wide CRC-16/CCITT (polynomial 0x1021) with a clear input.
module crc16 (
    input  wire        clk,
    input  wire        rst,
    input  wire        clear,
    input  wire        valid,
    input  wire [7:0]  data,
    output reg  [15:0] crc,
    output reg  [7:0]  bytes
);
    function [15:0] crc_byte(input [15:0] c, input [7:0] d);
        integer i;
        reg [15:0] r;
        begin
            r = c ^ {d, 8'h00};
            for (i = 0; i < 8; i = i + 1)
                r = r[15] ? {r[14:0], 1'b0} ^ 16'h1021 : {r[14:0], 1'b0};
            crc_byte = r;
        end
    endfunction

    always @(posedge clk) begin
        if (rst || clear) begin
            crc   <= 16'hffff;
            bytes <= 8'd0;
        end else if (valid) begin
            crc   <= crc_byte(crc, data);
            bytes <= bytes + 8'd1;
        end
    end
endmodule
