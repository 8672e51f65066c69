// Up/down counter with load and enable, plus a one-hot ring that rotates every cycle.
module counter (
    input  wire       clk,
    input  wire       rst,
    input  wire       en,
    input  wire       up,
    input  wire       load,
    input  wire [7:0] load_value,
    output reg  [7:0] count,
    output wire       at_max,
    output reg  [3:0] ring
);
    always @(posedge clk) begin
        if (rst)
            count <= 8'd0;
        else if (load)
            count <= load_value;
        else if (en)
            count <= up ? count + 8'd1 : count - 8'd1;
    end

    always @(posedge clk) begin
        if (rst)
            ring <= 4'b0001;
        else
            ring <= {ring[2:0], ring[3]};
    end

    assign at_max = &count;
endmodule
