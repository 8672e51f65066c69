// Four-entry, 8-bit synchronous FIFO on a small memory; writes to a full FIFO and reads from an
// empty one are ignored.
module fifo (
    input  wire       clk,
    input  wire       rst,
    input  wire       push,
    input  wire       pop,
    input  wire [7:0] wdata,
    output wire [7:0] rdata,
    output wire       empty,
    output wire       full,
    output wire [2:0] level
);
    reg [7:0] mem [0:3];
    reg [1:0] wptr, rptr;
    reg [2:0] count;
    integer i;

    wire do_push = push && !full;
    wire do_pop  = pop && !empty;

    always @(posedge clk) begin
        if (rst) begin
            wptr  <= 2'd0;
            rptr  <= 2'd0;
            count <= 3'd0;
            for (i = 0; i < 4; i = i + 1)
                mem[i] <= 8'd0;
        end else begin
            if (do_push) begin
                mem[wptr] <= wdata;
                wptr <= wptr + 2'd1;
            end
            if (do_pop)
                rptr <= rptr + 2'd1;
            count <= count + {2'd0, do_push} - {2'd0, do_pop};
        end
    end

    assign rdata = mem[rptr];
    assign empty = count == 3'd0;
    assign full  = count == 3'd4;
    assign level = count;
endmodule
