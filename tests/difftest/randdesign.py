"""Seeded random Verilog designs for the differential tests.

A design has a clock, a reset ``rst`` that every register obeys (so that Icarus Verilog never
shows x), an active-low asynchronous reset ``arst_n``, enables, data inputs of widths from 1 to over 128 bits,
a chain of combinational wires, one operator each (arithmetic, comparisons, shifts, multiplexers,
case statements, reductions, slices, dynamic bit selects, small divisions), and registers of
several kinds: synchronous or asynchronous reset, with or without enable, on the rising or the
falling clock edge, shift registers and an extra asynchronous reset beside the common one.
Every operation is defined for every input value.
"""

from __future__ import annotations

import random
from dataclasses import dataclass

WIDTHS = (1, 2, 3, 4, 5, 8, 12, 16, 17, 31, 32, 33, 48, 63, 64, 65, 100, 128, 129, 150)
NARROW = (1, 2, 3, 4, 5, 8, 12, 16)


@dataclass
class Signal:
    name: str
    width: int


class _Builder:
    def __init__(self, seed: int):
        self.rng = random.Random(seed)
        self.lines: list[str] = []
        self.regs: list[str] = []
        self.inputs: list[Signal] = []
        self.pool: list[Signal] = []
        self.count = 0

    def width(self, narrow: bool = False) -> int:
        return self.rng.choice(NARROW if narrow else WIDTHS)

    def pick(self, max_width: int | None = None) -> Signal:
        choices = [s for s in self.pool if max_width is None or s.width <= max_width]
        if not choices:
            src = self.rng.choice(self.pool)
            lo = self.rng.randrange(src.width - max_width + 1)
            return self.wire(max_width, f"{src.name}[{lo + max_width - 1}:{lo}]")
        recent = choices[-6:]
        return self.rng.choice(recent if recent and self.rng.random() < 0.6 else choices)

    def const(self, width: int) -> str:
        return f"{width}'h{self.rng.getrandbits(width):x}"

    def fresh(self, prefix: str) -> str:
        self.count += 1
        return f"{prefix}{self.count}"

    def wire(self, width: int, expr: str) -> Signal:
        sig = Signal(self.fresh("w"), width)
        self.lines.append(f"    wire [{width - 1}:0] {sig.name} = {expr};")
        self.pool.append(sig)
        return sig

    def operation(self) -> None:
        r = self.rng
        kind = r.choice([
            "arith", "arith", "signed_arith", "mul", "bitwise", "bitwise", "not", "neg",
            "shift", "shift", "compare", "compare", "mux", "case", "reduce", "logic", "slice",
            "concat", "index", "divide",
        ])
        w = self.width()
        if kind == "arith":
            a, b = self.pick(), self.pick()
            self.wire(w, f"{a.name} {r.choice(['+', '-'])} {b.name}")
        elif kind == "signed_arith":
            a, b = self.pick(), self.pick()
            self.wire(w, f"$signed({a.name}) {r.choice(['+', '-'])} $signed({b.name})")
        elif kind == "mul":
            a, b = self.pick(24), self.pick(24)
            signed = r.random() < 0.5
            wrap = (lambda s: f"$signed({s})") if signed else (lambda s: s)
            self.wire(min(w, 48), f"{wrap(a.name)} * {wrap(b.name)}")
        elif kind == "bitwise":
            a, b = self.pick(), self.pick()
            op = r.choice(["&", "|", "^", "~^"])
            if r.random() < 0.3:
                self.wire(w, f"$signed({a.name}) {op} $signed({b.name})")
            else:
                self.wire(w, f"{a.name} {op} {b.name}")
        elif kind == "not":
            self.wire(w, f"~{self.pick().name}")
        elif kind == "neg":
            a = self.pick()
            self.wire(w, f"-$signed({a.name})" if r.random() < 0.5 else f"-{a.name}")
        elif kind == "shift":
            a, s = self.pick(), self.pick(8)
            op = r.choice(["<<", ">>", "<<<", ">>>", "s>>>", "s>>"])
            if op.startswith("s"):
                self.wire(w, f"$signed({a.name}) {op[1:]} {s.name}")
            else:
                self.wire(w, f"{a.name} {op} {s.name}")
        elif kind == "compare":
            a, b = self.pick(), self.pick()
            op = r.choice(["==", "!=", "<", "<=", ">", ">=", "===", "!=="])
            if r.random() < 0.4 and op not in ("===", "!=="):
                self.wire(1, f"$signed({a.name}) {op} $signed({b.name})")
            else:
                self.wire(1, f"{a.name} {op} {b.name}")
        elif kind == "mux":
            c, a, b = self.pick(1), self.pick(), self.pick()
            self.wire(w, f"{c.name} ? {a.name} : {b.name}")
        elif kind == "case":
            sel = self.pick(3)
            n = 1 << sel.width
            arms = [self.pick() for _ in range(min(n, r.randint(2, 5)))]
            name = self.fresh("c")
            lines = [f"    reg [{w - 1}:0] {name};", "    always_comb begin",
                     f"        case ({sel.name})"]
            for i, arm in enumerate(arms[:-1]):
                lines.append(f"            {sel.width}'d{i}: {name} = {arm.name};")
            lines += [f"            default: {name} = {arms[-1].name};", "        endcase",
                      "    end"]
            self.lines += lines
            self.pool.append(Signal(name, w))
        elif kind == "reduce":
            a = self.pick()
            self.wire(1, f"{r.choice(['&', '|', '^', '~^', '~&', '~|', '!'])}{a.name}")
        elif kind == "logic":
            a, b = self.pick(), self.pick()
            self.wire(1, f"{a.name} {r.choice(['&&', '||'])} {b.name}")
        elif kind == "slice":
            a = self.pick()
            lo = r.randrange(a.width)
            hi = r.randrange(lo, a.width)
            self.wire(hi - lo + 1, f"{a.name}[{hi}:{lo}]")
        elif kind == "concat":
            parts = [self.pick() for _ in range(r.randint(2, 3))]
            total = sum(p.width for p in parts)
            self.wire(total, "{" + ", ".join(p.name for p in parts) + "}")
        elif kind == "index":
            a, i = self.pick(), self.pick(8)
            # The modulo keeps the index in range, where Verilog would give x.
            self.wire(1, f"{a.name}[{i.name} % {a.width}]")
        elif kind == "divide":
            a, b = self.pick(16), self.pick(16)
            op = r.choice(["/", "%"])
            if r.random() < 0.5:
                self.wire(min(w, 16), f"$signed({a.name}) {op} $signed({b.name} | 1'b1)")
            else:
                self.wire(min(w, 16), f"{a.name} {op} ({b.name} | 1'b1)")

    def register(self) -> None:
        r = self.rng
        w = self.width()
        d = self.pick()
        name = self.fresh("r")
        kind = r.choice(["sync", "sync_en", "async", "async_en", "shift", "two_resets",
                         "falling"])
        rv = self.const(w)
        self.lines.append(f"    reg [{w - 1}:0] {name};")
        en = self.pick(1).name
        if kind == "sync":
            body = [f"    always @(posedge clk)",
                    f"        if (rst) {name} <= {rv};",
                    f"        else {name} <= {d.name};"]
        elif kind == "sync_en":
            body = [f"    always @(posedge clk)",
                    f"        if (rst) {name} <= {rv};",
                    f"        else if ({en}) {name} <= {d.name};"]
        elif kind == "async":
            body = [f"    always @(posedge clk or posedge rst)",
                    f"        if (rst) {name} <= {rv};",
                    f"        else {name} <= {d.name};"]
        elif kind == "async_en":
            body = [f"    always @(posedge clk or posedge rst)",
                    f"        if (rst) {name} <= {rv};",
                    f"        else if ({en}) {name} <= {d.name};"]
        elif kind == "falling":
            body = [f"    always @(negedge clk)",
                    f"        if (rst) {name} <= {rv};",
                    f"        else if ({en}) {name} <= {d.name};"]
        elif kind == "shift":
            bit = self.pick(1).name
            zero = f"{w}'d0"
            nxt = f"{{{name}[{w - 2}:0], {bit}}}" if w > 1 else bit
            body = [f"    always @(posedge clk)",
                    f"        if (rst) {name} <= {zero};",
                    f"        else {name} <= {nxt};"]
        else:
            body = [f"    always @(posedge clk or negedge arst_n)",
                    f"        if (!arst_n) {name} <= {self.const(w)};",
                    f"        else if (rst) {name} <= {rv};",
                    f"        else if ({en}) {name} <= {d.name};"]
        self.lines += body
        self.regs.append(name)
        self.pool.append(Signal(name, w))


def generate(seed: int, name: str | None = None) -> tuple[str, str]:
    """(module name, Verilog text) of the random design of a seed."""
    b = _Builder(seed)
    top = name or f"rand{seed}"
    n_inputs = b.rng.randint(3, 5)
    for i in range(n_inputs):
        sig = Signal(f"in{i}", b.width())
        b.inputs.append(sig)
        b.pool.append(sig)
    b.inputs += [Signal("en", 1), Signal("sel", 3)]
    b.pool += b.inputs[-2:]
    for step in range(b.rng.randint(10, 18)):
        if step % 3 == 2:
            b.register()
        else:
            b.operation()
    b.register()
    b.operation()
    outs = []
    for reg in b.regs:
        outs.append(next(s for s in b.pool if s.name == reg))
    combinational = [s for s in b.pool if s.name.startswith(("w", "c"))]
    outs += b.rng.sample(combinational, min(3, len(combinational)))
    ports = ["input wire clk", "input wire rst", "input wire arst_n"]
    ports += [f"input wire [{s.width - 1}:0] {s.name}" for s in b.inputs]
    ports += [f"output wire [{s.width - 1}:0] out_{s.name}" for s in outs]
    body = b.lines + [f"    assign out_{s.name} = {s.name};" for s in outs]
    text = (f"// Random design, seed {seed}.\nmodule {top} (\n    "
            + ",\n    ".join(ports) + "\n);\n" + "\n".join(body) + "\nendmodule\n")
    return top, text
