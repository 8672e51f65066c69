// Word-level rewrites for operations that vexolin has no word-level cell for, or whose vexolin
// cell means something else for the same parameters.

// Yosys' $shr with a signed A shifts logically after extending A with its sign; vexolin's signed
// $shr shifts arithmetically. Extend first, then shift the extended value unsigned.
(* techmap_celltype = "$shr" *)
module _vexflow_shr_signed (A, B, Y);
    parameter A_SIGNED = 0;
    parameter B_SIGNED = 0;
    parameter A_WIDTH = 1;
    parameter B_WIDTH = 1;
    parameter Y_WIDTH = 1;
    input [A_WIDTH-1:0] A;
    input [B_WIDTH-1:0] B;
    output [Y_WIDTH-1:0] Y;

    wire _TECHMAP_FAIL_ = !A_SIGNED;
    localparam W = A_WIDTH > Y_WIDTH ? A_WIDTH : Y_WIDTH;

    wire [W-1:0] extended;
    \$pos #(.A_SIGNED(1), .A_WIDTH(A_WIDTH), .Y_WIDTH(W)) extend (.A(A), .Y(extended));
    \$shr #(
        .A_SIGNED(0), .B_SIGNED(0), .A_WIDTH(W), .B_WIDTH(B_WIDTH), .Y_WIDTH(Y_WIDTH)
    ) shift (.A(extended), .B(B), .Y(Y));
endmodule

(* techmap_celltype = "$xnor" *)
module _vexflow_xnor (A, B, Y);
    parameter A_SIGNED = 0;
    parameter B_SIGNED = 0;
    parameter A_WIDTH = 1;
    parameter B_WIDTH = 1;
    parameter Y_WIDTH = 1;
    input [A_WIDTH-1:0] A;
    input [B_WIDTH-1:0] B;
    output [Y_WIDTH-1:0] Y;

    wire [Y_WIDTH-1:0] x;
    \$xor #(
        .A_SIGNED(A_SIGNED), .B_SIGNED(B_SIGNED), .A_WIDTH(A_WIDTH), .B_WIDTH(B_WIDTH),
        .Y_WIDTH(Y_WIDTH)
    ) xor_ (.A(A), .B(B), .Y(x));
    \$not #(.A_SIGNED(0), .A_WIDTH(Y_WIDTH), .Y_WIDTH(Y_WIDTH)) not_ (.A(x), .Y(Y));
endmodule
