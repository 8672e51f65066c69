"""The cell types vexolin simulates: names, pins and Boolean functions.

One table serves the Liberty generator (``gen_liberty.py``), the netlist checks and the order
writer of ``vexflow.py``, and the tests that compare the generated Liberty functions with the
simulator. Functions are small expression trees so that they can be both printed in Liberty
syntax and evaluated in Python.
"""

from __future__ import annotations

import itertools
import re
from dataclasses import dataclass

# An expression is a pin name (str), a constant (0 or 1) or a tuple (op, *operands) with op one of
# "not", "and", "or", "xor".
Expr = object


def NOT(x):
    return ("not", x)


def AND(*xs):
    return ("and", *xs)


def OR(*xs):
    return ("or", *xs)


def XOR(*xs):
    return ("xor", *xs)


def MAJ(a, b, c):
    return OR(AND(a, b), AND(a, c), AND(b, c))


def evaluate(expr: Expr, values: dict[str, int]) -> int:
    if isinstance(expr, str):
        return values[expr]
    if isinstance(expr, int):
        return expr
    op, *args = expr
    vals = [evaluate(a, values) for a in args]
    if op == "not":
        return 1 - vals[0]
    if op == "and":
        return int(all(vals))
    if op == "or":
        return int(any(vals))
    if op == "xor":
        return sum(vals) & 1
    raise ValueError(f"unknown operator {op}")


def to_liberty(expr: Expr) -> str:
    if isinstance(expr, str):
        return expr
    if isinstance(expr, int):
        return str(expr)
    op, *args = expr
    if op == "not":
        inner = to_liberty(args[0])
        return "!" + (inner if isinstance(args[0], (str, int)) else f"({inner})")
    sym = {"and": "&", "or": "|", "xor": "^"}[op]
    parts = [to_liberty(a) if isinstance(a, (str, int)) else f"({to_liberty(a)})" for a in args]
    return sym.join(parts)


@dataclass(frozen=True)
class StdCellFamily:
    stem: str
    inputs: tuple[str, ...]
    outputs: dict[str, Expr]
    suffixes: tuple[str, ...]
    extra_stems: tuple[tuple[str, tuple[str, ...]], ...] = ()

    def type_names(self) -> list[str]:
        names = [f"{self.stem}{s}_ASAP7_75t_R" for s in self.suffixes]
        for stem, suffixes in self.extra_stems:
            names += [f"{stem}{s}_ASAP7_75t_R" for s in suffixes]
        return names


# Single-input groups whose pin keeps the digit 1 (B1, C1) in the library.
_DIGIT_ONE_PINS = {"OA31": "B", "OA331": "C", "OAI311": "BC", "OAI331": "C", "AOI331": "C"}


def _and_or_family(name: str) -> tuple[tuple[str, ...], Expr]:
    m = re.fullmatch(r"(AOI|AO|OAI|OA)(\d+)", name)
    prefix, digits = m.group(1), m.group(2)
    inner, outer = (AND, OR) if prefix.startswith("AO") else (OR, AND)
    pins: list[str] = []
    groups = []
    for letter, size in zip("ABC", (int(d) for d in digits)):
        if size == 1:
            group = [f"{letter}1" if letter in _DIGIT_ONE_PINS.get(name, "") else letter]
        else:
            group = [f"{letter}{i}" for i in range(1, size + 1)]
        pins += group
        groups.append(group[0] if size == 1 else inner(*group))
    expr = outer(*groups)
    return tuple(pins), NOT(expr) if prefix.endswith("I") else expr


_LETTERS = "ABCDE"


def _build_families() -> list[StdCellFamily]:
    fams = [
        StdCellFamily("BUF", ("A",), {"Y": "A"},
                      ("x10", "x12", "x12f", "x16f", "x24", "x2", "x3", "x4", "x4f", "x5", "x6f",
                       "x8"),
                      (("HB1", ("xp67",)), ("HB2", ("xp67",)), ("HB3", ("xp67",)),
                       ("HB4", ("xp67",)))),
        StdCellFamily("INV", ("A",), {"Y": NOT("A")},
                      ("x11", "x13", "x1", "x2", "x3", "x4", "x5", "x6", "x8", "xp33", "xp67"),
                      (("CKINVDC", ("x10", "x11", "x12", "x14", "x16", "x20", "x5p33", "x6p67",
                                    "x8", "x9p33")),)),
    ]
    gate_suffixes = {
        "AND2": ("x2", "x4", "x6"), "OR2": ("x2", "x4", "x6"),
        "AND3": ("x1", "x2", "x4"), "OR3": ("x1", "x2", "x4"),
        "AND4": ("x1", "x2"), "AND5": ("x1", "x2"), "OR4": ("x1", "x2"), "OR5": ("x1", "x2"),
        "NAND2": ("x1", "x1p5", "x2", "xp33", "xp5", "xp67"),
        "NOR2": ("x1", "x1p5", "x2", "xp33", "xp67"),
        "NAND3": ("x1", "x2", "xp33"), "NOR3": ("x1", "x2", "xp33"),
        "NAND4": ("xp25", "xp75"), "NOR4": ("xp25", "xp75"),
        "NAND5": ("xp2",), "NOR5": ("xp2",),
    }
    for stem, suffixes in gate_suffixes.items():
        n = int(stem[-1])
        ins = tuple(_LETTERS[:n])
        base = AND(*ins) if "AND" in stem else OR(*ins)
        fn = NOT(base) if stem.startswith("N") else base
        fams.append(StdCellFamily(stem, ins, {"Y": fn}, suffixes))
    fams += [
        StdCellFamily("XOR2", ("A", "B"), {"Y": XOR("A", "B")}, ("x1", "x2", "xp5")),
        StdCellFamily("XNOR2", ("A", "B"), {"Y": NOT(XOR("A", "B"))}, ("x1", "x2", "xp5")),
        StdCellFamily("MAJ", ("A", "B", "C"), {"Y": MAJ("A", "B", "C")}, ("x2", "x3")),
        StdCellFamily("MAJI", ("A", "B", "C"), {"Y": NOT(MAJ("A", "B", "C"))}, ("xp5",)),
        StdCellFamily("FA", ("A", "B", "CI"),
                      {"SN": NOT(XOR("A", "B", "CI")), "CON": NOT(MAJ("A", "B", "CI"))}, ("x1",)),
        StdCellFamily("HA", ("A", "B"), {"SN": NOT(XOR("A", "B")), "CON": NOT(AND("A", "B"))},
                      ("xp5",)),
        StdCellFamily("TIEHI", (), {"H": 1}, ("x1",)),
        StdCellFamily("TIELO", (), {"L": 0}, ("x1",)),
        StdCellFamily("O2A1O1I", ("A1", "A2", "B", "C"),
                      {"Y": NOT(OR(AND(OR("A1", "A2"), "B"), "C"))}, ("xp33", "xp5")),
        StdCellFamily("A2O1A1I", ("A1", "A2", "B", "C"),
                      {"Y": NOT(AND(OR(AND("A1", "A2"), "B"), "C"))}, ("xp33",)),
        StdCellFamily("A2O1A1O1I", ("A1", "A2", "B", "C", "D"),
                      {"Y": NOT(OR(AND(OR(AND("A1", "A2"), "B"), "C"), "D"))}, ("xp25",)),
    ]
    and_or_suffixes = {
        ("OA21", "OA211", "OA22", "OA221", "OA222", "OA31", "OA33"): ("x2",),
        ("OA331", "OA332", "OA333"): ("x1", "x2"),
        ("AO211", "AO222", "AO31", "AO322", "AO33"): ("x2",),
        ("AO21", "AO22", "AO221", "AO32", "AO331", "AO332", "AO333"): ("x1", "x2"),
        ("OAI21", "OAI22"): ("x1", "xp33", "xp5"),
        ("OAI211", "OAI221"): ("xp5",),
        ("OAI31",): ("xp33", "xp67"),
        ("OAI222", "OAI311", "OAI32", "OAI321", "OAI322", "OAI33", "OAI331", "OAI332",
         "OAI333"): ("xp33",),
        ("AOI21", "AOI22"): ("x1", "xp33", "xp5"),
        ("AOI211", "AOI221"): ("x1", "xp5"),
        ("AOI31",): ("xp33", "xp67"),
        ("AOI322",): ("xp5",),
        ("AOI222", "AOI311", "AOI32", "AOI321", "AOI33", "AOI331", "AOI332", "AOI333"):
            ("xp33",),
    }
    for names, suffixes in and_or_suffixes.items():
        for name in names:
            pins, fn = _and_or_family(name)
            fams.append(StdCellFamily(name, pins, {"Y": fn}, suffixes))
    return fams


STD_FAMILIES: list[StdCellFamily] = _build_families()
DFFHQN_NAMES = tuple(f"DFFHQNx{i}_ASAP7_75t_R" for i in (1, 2, 3))

STD_CELL_BY_NAME: dict[str, StdCellFamily] = {
    name: fam for fam in STD_FAMILIES for name in fam.type_names()
}

# Gate-level combinational cells: inputs and the function of Y.
GATE_CELLS: dict[str, tuple[tuple[str, ...], Expr]] = {
    "$_BUF_": (("A",), "A"),
    "$_NOT_": (("A",), NOT("A")),
    "$_AND_": (("A", "B"), AND("A", "B")),
    "$_ANDNOT_": (("A", "B"), AND("A", NOT("B"))),
    "$_NAND_": (("A", "B"), NOT(AND("A", "B"))),
    "$_NOR_": (("A", "B"), NOT(OR("A", "B"))),
    "$_OR_": (("A", "B"), OR("A", "B")),
    "$_ORNOT_": (("A", "B"), OR("A", NOT("B"))),
    "$_XNOR_": (("A", "B"), NOT(XOR("A", "B"))),
    "$_XOR_": (("A", "B"), XOR("A", "B")),
    "$_AOI3_": (("A", "B", "C"), NOT(OR(AND("A", "B"), "C"))),
    "$_MUX_": (("A", "B", "S"), OR(AND("A", NOT("S")), AND("B", "S"))),
    "$_NMUX_": (("A", "B", "S"), NOT(OR(AND("A", NOT("S")), AND("B", "S")))),
    "$_OAI3_": (("A", "B", "C"), NOT(AND(OR("A", "B"), "C"))),
}

WORD_CELLS = (
    "$add", "$div", "$eq", "$ge", "$gt", "$le", "$lt", "$mod", "$mul", "$neg", "$ne", "$sub",
    "$bmux", "$logic_and", "$logic_not", "$logic_or", "$mux", "$not", "$pmux", "$and", "$or",
    "$xor", "$reduce_and", "$shl", "$shr", "$pos", "$reduce_or", "$reduce_bool",
)


@dataclass(frozen=True)
class FlipFlop:
    clock: str
    outputs: tuple[str, ...]
    # Pins sampled at the clock edge: a value that changes during the edge's pass races there.
    data: tuple[str, ...]
    # Pins that act without a clock edge.
    asynchronous: tuple[str, ...] = ()


FLIP_FLOPS: dict[str, FlipFlop] = {
    "$dff": FlipFlop("CLK", ("Q",), ("D",)),
    "$adffe": FlipFlop("CLK", ("Q",), ("D", "EN"), ("ARST",)),
    "$aldff": FlipFlop("CLK", ("Q",), ("D",), ("ALOAD", "AD")),
    "$_DFF_P_": FlipFlop("C", ("Q",), ("D",)),
    "$_SDFF_PP0_": FlipFlop("C", ("Q",), ("D", "R")),
    **{name: FlipFlop("CLK", ("QN",), ("D",)) for name in DFFHQN_NAMES},
}

SUPPORTED_TYPES: frozenset[str] = frozenset(
    set(WORD_CELLS) | set(GATE_CELLS) | set(STD_CELL_BY_NAME) | set(FLIP_FLOPS)
)

# Cells that vexolin drops while it reads the netlist.
IGNORED_TYPES = frozenset({"$scopeinfo"})


def pin_directions(cell_type: str) -> dict[str, str] | None:
    """Input/output direction of each pin of a supported single-bit cell type, else None."""
    if cell_type in STD_CELL_BY_NAME:
        fam = STD_CELL_BY_NAME[cell_type]
        return {**{p: "input" for p in fam.inputs}, **{p: "output" for p in fam.outputs}}
    if cell_type in GATE_CELLS:
        return {**{p: "input" for p in GATE_CELLS[cell_type][0]}, "Y": "output"}
    if cell_type in FLIP_FLOPS:
        ff = FLIP_FLOPS[cell_type]
        pins = {p: "input" for p in (ff.clock, *ff.data, *ff.asynchronous)}
        return {**pins, **{p: "output" for p in ff.outputs}}
    return None


def truth_table(inputs: tuple[str, ...], expr: Expr) -> list[int]:
    """The function's value for every input combination, the first input least significant."""
    rows = []
    for combo in itertools.product((0, 1), repeat=len(inputs)):
        values = dict(zip(inputs, reversed(combo)))
        rows.append(evaluate(expr, values))
    return rows
