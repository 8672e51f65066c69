// Signed 8x8 multiply-accumulate into a 24-bit accumulator, asynchronous active-low reset.
module mac (
    input  wire               clk,
    input  wire               rst_n,
    input  wire               clear,
    input  wire               valid,
    input  wire signed [7:0]  x,
    input  wire signed [7:0]  y,
    output reg  signed [23:0] acc,
    output wire               negative
);
    wire signed [15:0] product = x * y;

    always @(posedge clk or negedge rst_n) begin
        if (!rst_n)
            acc <= 24'sd0;
        else if (clear)
            acc <= {{8{product[15]}}, product};
        else if (valid)
            acc <= acc + {{8{product[15]}}, product};
    end

    assign negative = acc < 0;
endmodule
