"""The flows behind the differential tests: Liberty functions, netlist checks, race-free orders."""

from __future__ import annotations

import json
import re
import subprocess
import sys
from pathlib import Path

import numpy as np
import pytest

from difftest import harness
import cells
import gen_liberty
import vexflow

vexolin = pytest.importorskip("vexolin")

FLOWS = harness.REPO / "flows"


def _have_yosys() -> bool:
    try:
        vexflow.find_yosys()
    except vexflow.FlowError:
        return False
    return True


needs_yosys = pytest.mark.skipif(not _have_yosys(), reason="no Yosys to run the flows")


# ---------------------------------------------------------------------------------------------
# Small hand-built netlists


def _netlist(cells_: dict, ports: dict[str, tuple[str, list[int]]], top: str = "top") -> dict:
    netnames = {name: {"hide_name": 0, "bits": bits, "attributes": {}}
                for name, (_, bits) in ports.items()}
    for name, cell in cells_.items():
        for pin, bits in cell["connections"].items():
            if cell.get("port_directions", {}).get(pin) == "output":
                netnames.setdefault(f"{name}.{pin}", {"hide_name": 1, "bits": bits,
                                                      "attributes": {}})
    return {"creator": "test", "modules": {top: {
        "attributes": {"top": "00000000000000000000000000000001"},
        "ports": {n: {"direction": d, "bits": b} for n, (d, b) in ports.items()},
        "cells": cells_, "netnames": netnames}}}


def _cell(type_: str, **conns) -> dict:
    dirs = cells.pin_directions(type_) or {}
    params = {}
    if type_ == "$dff":
        params = {"CLK_POLARITY": "1", "WIDTH": f"{len(conns['D']):032b}"}
        dirs = {"CLK": "input", "D": "input", "Q": "output"}
    return {"hide_name": 1, "type": type_, "parameters": params, "attributes": {},
            "port_directions": {p: dirs[p] for p in conns}, "connections": conns}


def _load(netlist: dict, order: list[str] | None, tmp_path: Path, config=None,
          top: str = "top"):
    nl = tmp_path / "n.json"
    nl.write_text(json.dumps(netlist))
    tord = tmp_path / "n.torder"
    tord.write_text(vexflow.order_text(top, order if order is not None else []))
    return vexolin.HardwareDesign(str(nl), str(tord), config or {}, top_module=top)


def _set_net(hw, net: int, value: int) -> None:
    hw.stick_signal(net, value)
    hw.unstick_signal(net)


CLK = vexolin.PortConfig(clock=True, polarity=1)


def _shift_chain():
    """in -> a -> b -> c, three $_DFF_P_ with nothing between them."""
    return _netlist(
        {"a": _cell("$_DFF_P_", C=[2], D=[3], Q=[4]),
         "b": _cell("$_DFF_P_", C=[2], D=[4], Q=[5]),
         "c": _cell("$_DFF_P_", C=[2], D=[5], Q=[6])},
        {"clk": ("input", [2]), "in": ("input", [3]), "out": ("output", [6])})


def test_chain_is_ordered_readers_first_and_shifts_one_stage_per_cycle(tmp_path):
    netlist = _shift_chain()
    order, notes = vexflow.make_order(netlist, "top")
    assert order == ["c", "b", "a"] and notes == []
    assert vexflow.find_races(netlist, "top", order) == []
    hw = _load(netlist, order, tmp_path, {"clk": CLK})
    setattr(hw.ports, "in", 1)
    seen = []
    for _ in range(3):
        hw.eval_clocked(1)
        seen.append(int(hw.ports.out[0]))
    assert seen == [0, 0, 1]


def test_race_checker_names_the_flip_flops_that_really_race(tmp_path):
    netlist = _shift_chain()
    races = vexflow.find_races(netlist, "top", ["a", "b", "c"])
    assert [r.flip_flop for r in races] == ["b", "c"]
    assert "a" in races[0].reason and "b" in races[1].reason
    # vexolin under that order lets the input run through the whole chain in one cycle.
    hw = _load(netlist, ["a", "b", "c"], tmp_path, {"clk": CLK})
    setattr(hw.ports, "in", 1)
    hw.eval_clocked(1)
    assert int(hw.ports.out[0]) == 1


def test_race_through_logic_listed_between_the_flip_flops():
    netlist = _netlist(
        {"a": _cell("$_DFF_P_", C=[2], D=[3], Q=[4]),
         "inv": _cell("$_NOT_", A=[4], Y=[5]),
         "b": _cell("$_DFF_P_", C=[2], D=[5], Q=[6])},
        {"clk": ("input", [2]), "in": ("input", [3]), "out": ("output", [6])})
    assert [r.flip_flop for r in vexflow.find_races(netlist, "top", ["a", "inv", "b"])] == ["b"]
    assert vexflow.find_races(netlist, "top", ["a", "b", "inv"]) == []
    # Unlisted cells follow the listed ones in file order, as vexolin places them.
    assert [r.flip_flop for r in vexflow.find_races(netlist, "top", ["a"])] == ["b"]


SWAPS = {
    "gate": ({"x": _cell("$_DFF_P_", C=[2], D=[4], Q=[3]),
              "y": _cell("$_DFF_P_", C=[2], D=[3], Q=[4])},
             {"clk": ("input", [2]), "qx": ("output", [3]), "qy": ("output", [4])}, "$_BUF_"),
    "word": ({"x": _cell("$dff", CLK=[2], D=[5, 6], Q=[3, 4]),
              "y": _cell("$dff", CLK=[2], D=[3, 4], Q=[5, 6])},
             {"clk": ("input", [2]), "qx": ("output", [3, 4]), "qy": ("output", [5, 6])},
             "$pos"),
    # Each stores the inverse of the other: D takes the other's QN directly.
    "stdcell": ({"x": _cell("DFFHQNx1_ASAP7_75t_R", CLK=[2], D=[4], QN=[3]),
                 "y": _cell("DFFHQNx2_ASAP7_75t_R", CLK=[2], D=[3], QN=[4])},
                {"clk": ("input", [2]), "qx": ("output", [3]), "qy": ("output", [4])},
                "BUFx2_ASAP7_75t_R"),
}


@pytest.mark.parametrize("style", sorted(SWAPS))
def test_direct_flip_flop_cycle_gets_a_buffer_and_swaps(style, tmp_path):
    cells_, ports, buffer_type = SWAPS[style]
    netlist = _netlist(json.loads(json.dumps(cells_)), ports)
    assert [r.flip_flop for r in vexflow.find_races(netlist, "top", ["x", "y"])] == ["y"]
    order, notes = vexflow.make_order(netlist, "top")
    assert len(notes) == 1 and "x" in notes[0] and "y" in notes[0] and "buffer" in notes[0]
    mod = netlist["modules"]["top"]
    buffers = [n for n, c in mod["cells"].items() if c["type"] == buffer_type]
    assert buffers and set(order[:2]) == {"x", "y"} and set(order[2:]) == set(buffers)
    assert vexflow.find_races(netlist, "top", order) == []
    assert vexflow.check_netlist(netlist, "top") == []

    width = len(ports["qx"][1])
    config = {"clk": CLK, "qx": vexolin.PortConfig(shape=(1, width), dtype=bool),
              "qy": vexolin.PortConfig(shape=(1, width), dtype=bool)}
    hw = _load(netlist, order, tmp_path, config)
    hw.eval()
    # Two QN-only flip-flops that hold 1 and 0 would hold the same after the swap.
    start_y = 1 if style == "stdcell" else 0
    for net in ports["qx"][1]:
        _set_net(hw, net, 1)
    for net in ports["qy"][1]:
        _set_net(hw, net, start_y)
    hw.eval()
    before = (list(hw.ports.qx), list(hw.ports.qy))
    hw.eval_clocked(1)
    after = (list(hw.ports.qx), list(hw.ports.qy))
    if style == "stdcell":
        assert after == ([not v for v in before[1]], [not v for v in before[0]])
    else:
        assert after == (before[1], before[0])


def test_clock_buffer_goes_before_the_flip_flops():
    netlist = _netlist(
        {"a": _cell("$_DFF_P_", C=[7], D=[3], Q=[4]),
         "b": _cell("$_DFF_P_", C=[2], D=[4], Q=[5]),
         "clkbuf": _cell("$_BUF_", A=[2], Y=[7])},
        {"clk": ("input", [2]), "in": ("input", [3]), "out": ("output", [5])})
    order, _ = vexflow.make_order(netlist, "top")
    assert order == ["clkbuf", "b", "a"]
    races = vexflow.find_races(netlist, "top", ["b", "a", "clkbuf"])
    assert [r.flip_flop for r in races] == ["a"] and "clkbuf" in races[0].reason


def test_combinational_loop_is_reported():
    netlist = _netlist(
        {"n1": _cell("$_NAND_", A=[2], B=[4], Y=[3]),
         "n2": _cell("$_NAND_", A=[3], B=[5], Y=[4])},
        {"s": ("input", [2]), "r": ("input", [5]), "q": ("output", [3])})
    order, notes = vexflow.make_order(netlist, "top")
    assert order == ["n1", "n2"] and "loop" in notes[0] and "n1" in notes[0]


def test_order_file_names_a_top_module_with_a_dollar(tmp_path):
    top = "$paramod$top"
    netlist = _netlist({"inv": _cell("$_NOT_", A=[2], Y=[3])},
                       {"a": ("input", [2]), "y": ("output", [3])}, top=top)
    text = vexflow.order_text(top, ["inv"])
    (tmp_path / "o.torder").write_text(text)
    assert vexflow.read_order(tmp_path / "o.torder", top) == ["inv"]
    hw = _load(netlist, ["inv"], tmp_path, top=top)
    hw.eval()
    assert int(hw.ports.y[0]) == 1


# ---------------------------------------------------------------------------------------------
# Netlist checks


def _checked(edit) -> list[str]:
    netlist = _netlist(
        {"c": {"hide_name": 1, "type": "$lt",
               "parameters": {"A_SIGNED": "0", "B_SIGNED": "0"}, "attributes": {},
               "port_directions": {"A": "input", "B": "input", "Y": "output"},
               "connections": {"A": [2, 3], "B": [4, 5], "Y": [6]}}},
        {"a": ("input", [2, 3]), "b": ("input", [4, 5]), "y": ("output", [6])})
    edit(netlist["modules"]["top"])
    return vexflow.check_netlist(netlist, "top")


def _set(path, value):
    def edit(mod):
        obj = mod
        for key in path[:-1]:
            obj = obj[key]
        obj[path[-1]] = value
    return edit


WIDE = list(range(10, 110))
REFUSALS = [
    ("latch", _set(("cells", "c", "type"), "$dlatch"), "type $dlatch is not supported"),
    ("x bit", _set(("cells", "c", "connections", "B"), [4, "x"]), "undefined bits"),
    ("z netname", _set(("netnames", "y", "bits"), ["z"]), "net y: undefined bits"),
    ("inout port", _set(("ports", "a", "direction"), "inout"), "port a: inout"),
    ("wide compare", _set(("cells", "c", "connections", "A"), WIDE), "computes this cell on 64"),
    ("unreadable flag", _set(("cells", "c", "parameters", "A_SIGNED"), "1" * 33),
     "A_SIGNED is not a 32-bit binary number"),
    ("missing pin", lambda m: m["cells"]["c"].update(
        type="$_AND_", connections={"A": [2], "Y": [6]}),
     "pin B not connected"),
    ("no A_SIGNED", lambda m: m["cells"]["c"].update(
        type="$not", parameters={}, connections={"A": [2], "Y": [6]}), "A_SIGNED missing"),
]


@pytest.mark.parametrize("edit,message", [r[1:] for r in REFUSALS], ids=[r[0] for r in REFUSALS])
def test_check_names_what_vexolin_would_refuse(edit, message):
    problems = _checked(edit)
    assert len(problems) == 1 and message in problems[0], problems


def test_check_accepts_what_vexolin_computes_exactly():
    assert _checked(lambda m: None) == []
    # 100-bit operands are exact once the result has 65 bits or more (128-bit computation).
    assert _checked(lambda m: m["cells"]["c"]["connections"].update(
        A=WIDE, B=WIDE, Y=list(range(200, 266)))) == []


# ---------------------------------------------------------------------------------------------
# Liberty file and cell functions


def _parse_function(text: str):
    tokens = re.findall(r"[A-Za-z_][A-Za-z0-9_]*|[01]|[!&|^()]", text)
    pos = 0

    def peek():
        return tokens[pos] if pos < len(tokens) else None

    def take():
        nonlocal pos
        pos += 1
        return tokens[pos - 1]

    def binary(level):
        ops = ["|", "^", "&"]
        if level == len(ops):
            return unary()
        node = binary(level + 1)
        while peek() == ops[level]:
            take()
            node = ({"|": cells.OR, "^": cells.XOR, "&": cells.AND}[ops[level]])(
                node, binary(level + 1))
        return node

    def unary():
        tok = take()
        if tok == "!":
            return cells.NOT(unary())
        if tok == "(":
            node = binary(0)
            assert take() == ")"
            return node
        return int(tok) if tok in "01" else tok

    node = binary(0)
    assert pos == len(tokens), text
    return node


def _liberty_cells(text: str) -> dict[str, dict[str, tuple[str, str | None]]]:
    out = {}
    for name, body in re.findall(r"cell \((\w+)\) \{(.*?)\n  \}", text, re.S):
        pins = {}
        for pin, pbody in re.findall(r"pin \((\w+)\) \{(.*?)\}", body, re.S):
            direction = re.search(r"direction : (\w+);", pbody).group(1)
            fn = re.search(r'function : "([^"]*)";', pbody)
            pins[pin] = (direction, fn.group(1) if fn else None)
        out[name] = pins
    return out


def test_committed_liberty_file_is_the_generators_output():
    assert gen_liberty.DEFAULT_OUTPUT.read_text() == gen_liberty.liberty_text()


def test_liberty_cells_compute_what_vexolin_simulates(tmp_path):
    """Every combinational Liberty cell, on every input combination, against vexolin."""
    lib = _liberty_cells(gen_liberty.DEFAULT_OUTPUT.read_text())
    assert set(lib) == set(cells.STD_CELL_BY_NAME) | set(cells.DFFHQN_NAMES)
    ins = list(range(2, 11))
    net = 11
    cells_, outputs = {}, []
    for name in cells.STD_CELL_BY_NAME:
        conns = {}
        for i, (pin, (direction, fn)) in enumerate(lib[name].items()):
            if direction == "input":
                conns[pin] = [ins[len(conns)]]
            else:
                conns[pin] = [net]
                outputs.append((name, pin, _parse_function(fn), net))
                net += 1
        cells_[name] = _cell(name, **conns)
        inputs = [p for p, (d, _) in lib[name].items() if d == "input"]
        assert tuple(inputs) == cells.STD_CELL_BY_NAME[name].inputs, name
    nets = [o[3] for o in outputs]
    netlist = _netlist(cells_, {"x": ("input", ins), "y": ("output", nets)})
    config = {"x": vexolin.PortConfig(shape=(1, 9), dtype=bool),
              "y": vexolin.PortConfig(shape=(1, len(nets)), dtype=bool)}
    hw = _load(netlist, None, tmp_path, config)
    for value in range(1 << len(ins)):
        hw.ports.x = np.array([(value >> i) & 1 for i in range(len(ins))], dtype=bool)
        hw.eval()
        got = hw.ports.y
        for k, (name, pin, fn, _) in enumerate(outputs):
            pins = [p for p, (d, _) in lib[name].items() if d == "input"]
            want = cells.evaluate(fn, {p: (value >> i) & 1 for i, p in enumerate(pins)})
            assert int(got[k]) == want, f"{name}.{pin} on inputs {value:09b}"


def test_liberty_flip_flop_is_described_as_vexolin_simulates_it():
    text = gen_liberty.DEFAULT_OUTPUT.read_text()
    for name in cells.DFFHQN_NAMES:
        body = re.search(rf"cell \({name}\) \{{(.*?)\n  \}}", text, re.S).group(1)
        assert 'ff (IQ, IQN)' in body and 'next_state : "D"' in body
        assert 'clocked_on : "CLK"' in body
        assert _liberty_cells(f"  cell ({name}) {{{body}\n  }}")[name]["QN"] == ("output", "IQN")


def test_gate_cell_table_matches_vexolin(tmp_path):
    cells_, outputs = {}, []
    for k, (name, (ins, fn)) in enumerate(cells.GATE_CELLS.items()):
        cells_[f"g{k}"] = _cell(name, **{p: [2 + i] for i, p in enumerate(ins)}, Y=[5 + k])
        outputs.append((name, ins, fn))
    netlist = _netlist(cells_, {"x": ("input", [2, 3, 4]),
                                "y": ("output", [5 + k for k in range(len(outputs))])})
    config = {"x": vexolin.PortConfig(shape=(1, 3), dtype=bool),
              "y": vexolin.PortConfig(shape=(1, len(outputs)), dtype=bool)}
    hw = _load(netlist, None, tmp_path, config)
    for value in range(8):
        hw.ports.x = np.array([(value >> i) & 1 for i in range(3)], dtype=bool)
        hw.eval()
        got = hw.ports.y
        for k, (name, ins, fn) in enumerate(outputs):
            want = cells.evaluate(fn, {p: (value >> i) & 1 for i, p in enumerate(ins)})
            assert int(got[k]) == want, f"{name} on {value:03b}"


# ---------------------------------------------------------------------------------------------
# Flows from Verilog


REWRITES = """
module rewrites (
    input  wire        clk, rst,
    input  wire [7:0]  a, b,
    input  wire [2:0]  s,
    input  wire [99:0] wa, wb,
    output reg  [19:0] r,
    output wire [34:0] y,
    output wire [129:0] p,
    output wire [149:0] q
);
    wire [7:0] sra = $signed(a) >>> s;
    wire [7:0] shl = a <<< s;
    wire [7:0] xn = a ~^ b;
    wire [1:0] part = wa[s +: 2];
    wire [11:0] srl = $signed(a) >> s;
    assign y = {a === b, a !== b, ^a, ~^b, a[s], wa < wb, $signed(a) < $signed(b), |(wa ^ wb),
                wa == wb, sra, shl, xn, part};
    assign p = -$signed(wa);
    assign q = $signed(wa) >>> s;
    always @(posedge clk)
        if (rst) r <= 20'd0;
        else     r <= {srl, $signed(b) >>> s};
endmodule
"""


@needs_yosys
def test_word_flow_rewrites_unsupported_operations_and_stays_exact(tmp_path):
    src = tmp_path / "rewrites.v"
    src.write_text(REWRITES)
    res = vexflow.synthesize([src], "word", tmp_path, top="rewrites")
    netlist = json.loads(res.netlist.read_text())
    types = {c["type"] for c in netlist["modules"]["rewrites"]["cells"].values()}
    assert types <= cells.SUPPORTED_TYPES | cells.IGNORED_TYPES
    assert {"$eq", "$ne", "$shr", "$shl", "$lt", "$not", "$xor"} <= types
    design = harness.Design("rewrites", "rewrites", [src])
    ports = harness.Ports.of(res.netlist, "rewrites")
    steps = harness.stimulus(design, ports, 300, 7)
    expected = harness.run_icarus(design, ports, steps, tmp_path / "icarus")
    got = harness.run_vexolin(res.netlist, res.order, design, ports, steps)
    assert harness.first_mismatch(expected, got, ports) is None


@needs_yosys
def test_flow_refuses_a_latch_and_names_it(tmp_path):
    src = tmp_path / "latch.v"
    src.write_text("module latch(input en, input d, output reg q);\n"
                   "    always @(*) if (en) q = d;\nendmodule\n")
    with pytest.raises(vexflow.FlowError, match=r"\$dlatch is not supported"):
        vexflow.synthesize([src], "word", tmp_path)


@needs_yosys
def test_command_line_checks_orders_and_flagged_orders_really_go_wrong(tmp_path):
    src = harness.REPO / "examples" / "counter.v"
    run = lambda *args: subprocess.run(  # noqa: E731
        [sys.executable, str(FLOWS / "vexflow.py"), *map(str, args)],
        capture_output=True, text=True)
    done = run("--style", "gate", src, "-o", tmp_path)
    assert done.returncode == 0, done.stderr
    netlist, order = tmp_path / "counter.gate.json", tmp_path / "counter.gate.torder"
    ok = run("--check-order", netlist, order)
    assert ok.returncode == 0 and "no flip-flop races" in ok.stdout
    mod = json.loads(netlist.read_text())["modules"]["counter"]
    ffs = [n for n, c in mod["cells"].items() if c["type"] in cells.FLIP_FLOPS]
    logic = [n for n in mod["cells"] if n not in ffs]
    # One flip-flop, then the logic, then the others: whatever depends on the first races.
    racy = tmp_path / "racy.torder"
    racy.write_text(vexflow.order_text("counter", ffs[:1] + logic + ffs[1:]))
    bad = run("--check-order", netlist, racy)
    assert bad.returncode == 1
    named = {line.split(": ")[1] for line in bad.stdout.splitlines() if line.startswith("race:")}
    assert ffs[0] not in named and len(named) >= 1

    design = harness.examples()["counter"]
    ports = harness.Ports.of(netlist, "counter")
    steps = harness.stimulus(design, ports, 100, 3)
    expected = harness.run_icarus(design, ports, steps, tmp_path / "icarus")
    good = harness.run_vexolin(netlist, order, design, ports, steps)
    wrong = harness.run_vexolin(netlist, racy, design, ports, steps)
    assert harness.first_mismatch(expected, good, ports) is None
    assert harness.first_mismatch(expected, wrong, ports) is not None
