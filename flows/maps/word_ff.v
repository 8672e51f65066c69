// Word-level flip-flop legalisation for vexolin, run after `dffunmap -srst-only`: what is left
// with a clock enable or an asynchronous reset becomes $adffe, and asynchronous-load flip-flops
// with an enable become $aldff behind a hold multiplexer.
//
// vexolin reads ARST_VALUE as a 32-bit number, so wider $adffe cells are split into slices of at
// most 32 bits; a slice of 32 bits or less fails the map and stays as it is.

(* techmap_celltype = "$adffe" *)
module _vexflow_adffe (CLK, ARST, EN, D, Q);
    parameter WIDTH = 1;
    parameter CLK_POLARITY = 1'b1;
    parameter EN_POLARITY = 1'b1;
    parameter ARST_POLARITY = 1'b1;
    parameter ARST_VALUE = 0;
    input CLK, ARST, EN;
    input [WIDTH-1:0] D;
    output [WIDTH-1:0] Q;

    wire _TECHMAP_FAIL_ = WIDTH <= 32;

    genvar i;
    generate
        for (i = 0; i < WIDTH; i = i + 32) begin : slice
            localparam W = WIDTH - i < 32 ? WIDTH - i : 32;
            \$adffe #(
                .WIDTH(W), .CLK_POLARITY(CLK_POLARITY), .EN_POLARITY(EN_POLARITY),
                .ARST_POLARITY(ARST_POLARITY), .ARST_VALUE(ARST_VALUE[i +: W])
            ) ff (.CLK(CLK), .ARST(ARST), .EN(EN), .D(D[i +: W]), .Q(Q[i +: W]));
        end
    endgenerate
endmodule

(* techmap_celltype = "$adff" *)
module _vexflow_adff (CLK, ARST, D, Q);
    parameter WIDTH = 1;
    parameter CLK_POLARITY = 1'b1;
    parameter ARST_POLARITY = 1'b1;
    parameter ARST_VALUE = 0;
    input CLK, ARST;
    input [WIDTH-1:0] D;
    output [WIDTH-1:0] Q;

    genvar i;
    generate
        for (i = 0; i < WIDTH; i = i + 32) begin : slice
            localparam W = WIDTH - i < 32 ? WIDTH - i : 32;
            \$adffe #(
                .WIDTH(W), .CLK_POLARITY(CLK_POLARITY), .EN_POLARITY(1'b1),
                .ARST_POLARITY(ARST_POLARITY), .ARST_VALUE(ARST_VALUE[i +: W])
            ) ff (.CLK(CLK), .ARST(ARST), .EN(1'b1), .D(D[i +: W]), .Q(Q[i +: W]));
        end
    endgenerate
endmodule

// A reset that never becomes active: the asynchronous input is tied to its inactive level.
(* techmap_celltype = "$dffe" *)
module _vexflow_dffe (CLK, EN, D, Q);
    parameter WIDTH = 1;
    parameter CLK_POLARITY = 1'b1;
    parameter EN_POLARITY = 1'b1;
    input CLK, EN;
    input [WIDTH-1:0] D;
    output [WIDTH-1:0] Q;

    \$adffe #(
        .WIDTH(WIDTH), .CLK_POLARITY(CLK_POLARITY), .EN_POLARITY(EN_POLARITY),
        .ARST_POLARITY(1'b1), .ARST_VALUE({WIDTH{1'b0}})
    ) _TECHMAP_REPLACE_ (.CLK(CLK), .ARST(1'b0), .EN(EN), .D(D), .Q(Q));
endmodule

(* techmap_celltype = "$aldffe" *)
module _vexflow_aldffe (CLK, ALOAD, AD, EN, D, Q);
    parameter WIDTH = 1;
    parameter CLK_POLARITY = 1'b1;
    parameter EN_POLARITY = 1'b1;
    parameter ALOAD_POLARITY = 1'b1;
    input CLK, ALOAD, EN;
    input [WIDTH-1:0] AD, D;
    output [WIDTH-1:0] Q;

    wire [WIDTH-1:0] next;
    generate
        if (EN_POLARITY)
            \$mux #(.WIDTH(WIDTH)) hold (.A(Q), .B(D), .S(EN), .Y(next));
        else
            \$mux #(.WIDTH(WIDTH)) hold (.A(D), .B(Q), .S(EN), .Y(next));
    endgenerate
    \$aldff #(
        .WIDTH(WIDTH), .CLK_POLARITY(CLK_POLARITY), .ALOAD_POLARITY(ALOAD_POLARITY)
    ) _TECHMAP_REPLACE_ (.CLK(CLK), .ALOAD(ALOAD), .AD(AD), .D(next), .Q(Q));
endmodule
