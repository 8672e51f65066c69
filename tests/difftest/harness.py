"""Runs one design under the same stimulus in vexolin and in Icarus Verilog and compares them.

A cycle is what ``eval_clocked(1)`` does: settle, clock to its active level, settle, clock back,
settle. Inputs change at the start of a cycle, while the clock is inactive. Outputs are sampled
twice per cycle: after the inputs settle (before the edge) and after the cycle. The run starts
with one cycle under reset (``eval_reset_clocked(1)``), sampled after it.
"""

from __future__ import annotations

import json
import random
import subprocess
from dataclasses import dataclass, field
from pathlib import Path

import numpy as np

REPO = Path(__file__).resolve().parents[2]


@dataclass
class Design:
    name: str
    top: str
    sources: list[Path]
    clock: str = "clk"
    reset: str = "rst"
    reset_polarity: int = 1
    hierarchy: list[str] | None = None
    # Inputs other than the reset that stay inactive but for a few cycles: name to active level.
    rare: dict[str, int] = field(default_factory=dict)


@dataclass
class Ports:
    inputs: dict[str, int]
    outputs: dict[str, int]

    @classmethod
    def of(cls, netlist_path: Path, top: str) -> "Ports":
        mod = json.loads(Path(netlist_path).read_text())["modules"][top]
        ins, outs = {}, {}
        for name, port in mod["ports"].items():
            (ins if port["direction"] == "input" else outs)[name] = len(port["bits"])
        return cls(ins, outs)


@dataclass
class Trace:
    """Output values per sample: ("reset", 0), then ("settled", i) and ("cycle", i) per cycle."""
    samples: list[tuple[tuple[str, int], dict[str, int | str]]] = field(default_factory=list)
    # Toggle counts per scope and signal over the cycles after the reset cycle.
    toggles: dict[str, dict[str, int]] = field(default_factory=dict)


def examples() -> dict[str, Design]:
    ex_dir = REPO / "examples"
    table = json.loads((ex_dir / "examples.json").read_text())
    return {
        name: Design(name, e["top"], [ex_dir / s for s in e["sources"]], e["clock"], e["reset"],
                     e["reset_polarity"], e.get("hierarchy"))
        for name, e in table.items()
    }


def stimulus(design: Design, ports: Ports, cycles: int, seed: int) -> list[dict[str, int]]:
    """Random input values per cycle; the reset is asserted now and then, the clock never."""
    rng = random.Random(seed)
    inactive = 1 - design.reset_polarity
    steps = []
    for _ in range(cycles):
        step = {}
        for name, width in ports.inputs.items():
            if name == design.clock:
                continue
            if name == design.reset:
                step[name] = design.reset_polarity if rng.random() < 0.03 else inactive
            elif name in design.rare:
                active = design.rare[name]
                step[name] = active if rng.random() < 0.05 else 1 - active
            elif width <= 2 or rng.random() < 0.7:
                step[name] = rng.getrandbits(width)
            else:
                # Corner values reach carries, overflows and sign bits that random words miss.
                step[name] = rng.choice([0, (1 << width) - 1, 1 << (width - 1), 1,
                                         (1 << (width - 1)) - 1])
        steps.append(step)
    return steps


# ---------------------------------------------------------------------------------------------
# vexolin


def _bits(value: int, width: int) -> np.ndarray:
    return np.array([(value >> i) & 1 for i in range(width)], dtype=bool)


def _value(bits: np.ndarray) -> int:
    return sum(1 << i for i, b in enumerate(bits) if b)


def run_vexolin(netlist: Path, order: Path, design: Design, ports: Ports,
                steps: list[dict[str, int]]) -> Trace:
    import vexolin

    config = {
        name: vexolin.PortConfig(shape=(1, width), dtype=bool)
        for name, width in {**ports.inputs, **ports.outputs}.items()
        if name != design.clock
    }
    config[design.clock] = vexolin.PortConfig(clock=True, polarity=1)
    config[design.reset] = vexolin.PortConfig(
        shape=(1, 1), dtype=bool, reset=True, polarity=design.reset_polarity)
    hw = vexolin.HardwareDesign(str(netlist), str(order), config)
    trace = Trace()

    def sample(tag):
        trace.samples.append((tag, {o: _value(getattr(hw.ports, o)) for o in ports.outputs}))

    hw.reset()
    hw.eval_reset_clocked(1)
    sample(("reset", 0))
    # Styles start from different states (a DFFHQN's Q is the inverse of the cleared QN), so
    # toggles count from the end of the reset cycle.
    before = hw.toggle_count("total")
    for i, step in enumerate(steps):
        for name, value in step.items():
            setattr(hw.ports, name, _bits(value, ports.inputs[name]))
        hw.eval()
        sample(("settled", i))
        hw.eval_clocked(1)
        sample(("cycle", i))
    after = hw.toggle_count("total")
    trace.toggles = {scope: {n: c - before[scope][n] for n, c in counts.items()}
                     for scope, counts in after.items()}
    return trace


# ---------------------------------------------------------------------------------------------
# Icarus Verilog


def testbench(design: Design, ports: Ports, cycles: int) -> str:
    inputs = {n: w for n, w in ports.inputs.items()}
    decl = [f"    reg [{w - 1}:0] {n} = 0;" for n, w in inputs.items()]
    decl += [f"    wire [{w - 1}:0] {n};" for n, w in ports.outputs.items()]
    stim = [f"    reg [{w - 1}:0] vexflow_stim_{n} [0:{max(cycles, 1) - 1}];"
            for n, w in inputs.items() if n != design.clock]
    load = [f'        $readmemh("stim_{n}.hex", vexflow_stim_{n});'
            for n in inputs if n != design.clock]
    apply = [f"            {n} = vexflow_stim_{n}[vexflow_i];" for n in inputs if n != design.clock]
    outs = list(ports.outputs)
    fmt = " ".join(["%b"] * len(outs))
    args = "".join(f", {o}" for o in outs)
    conns = ", ".join(f".{n}({n})" for n in [*inputs, *outs])
    active, inactive = design.reset_polarity, 1 - design.reset_polarity
    clk = design.clock
    return f"""`timescale 1ns/1ns
module vexflow_tb;
{chr(10).join(decl)}
{chr(10).join(stim)}
    integer vexflow_f, vexflow_i;
    {design.top} dut ({conns});
    initial begin
{chr(10).join(load)}
        vexflow_f = $fopen("trace.txt", "w");
        {design.reset} = {active}; #1;
        {clk} = 1; #1; {clk} = 0; #1;
        {design.reset} = {inactive}; #1;
        $fwrite(vexflow_f, "reset 0 {fmt}\\n"{args});
        for (vexflow_i = 0; vexflow_i < {cycles}; vexflow_i = vexflow_i + 1) begin
{chr(10).join(apply)}
            #1;
            $fwrite(vexflow_f, "settled %0d {fmt}\\n", vexflow_i{args});
            {clk} = 1; #1; {clk} = 0; #1;
            $fwrite(vexflow_f, "cycle %0d {fmt}\\n", vexflow_i{args});
        end
        $fclose(vexflow_f);
        $finish;
    end
endmodule
"""


def run_icarus(design: Design, ports: Ports, steps: list[dict[str, int]], workdir: Path) -> Trace:
    workdir.mkdir(parents=True, exist_ok=True)
    for name, width in ports.inputs.items():
        if name == design.clock:
            continue
        digits = (width + 3) // 4
        lines = [f"{s[name]:0{digits}x}" for s in steps] or ["0"]
        (workdir / f"stim_{name}.hex").write_text("\n".join(lines) + "\n")
    (workdir / "tb.v").write_text(testbench(design, ports, len(steps)))
    exe = workdir / "sim.vvp"
    subprocess.run(["iverilog", "-g2012", "-o", str(exe), "-s", "vexflow_tb", str(workdir / "tb.v"),
                    *map(str, design.sources)], check=True, capture_output=True, text=True)
    subprocess.run(["vvp", "-n", str(exe)], cwd=workdir, check=True, capture_output=True,
                   text=True)
    trace = Trace()
    outs = list(ports.outputs)
    for line in (workdir / "trace.txt").read_text().splitlines():
        phase, index, *values = line.split()
        sample = {}
        for name, text in zip(outs, values):
            sample[name] = int(text, 2) if set(text) <= {"0", "1"} else text
        trace.samples.append(((phase, int(index)), sample))
    return trace


# ---------------------------------------------------------------------------------------------
# Comparison


def _show(value, width: int) -> str:
    return value if isinstance(value, str) else f"0x{value:0{(width + 3) // 4}x}"


def first_mismatch(expected: Trace, got: Trace, ports: Ports) -> str | None:
    if len(expected.samples) != len(got.samples):
        return f"{len(expected.samples)} samples expected, {len(got.samples)} taken"
    for (tag, exp), (gtag, val) in zip(expected.samples, got.samples):
        assert tag == gtag
        for name, width in ports.outputs.items():
            if exp[name] != val[name]:
                phase, i = tag
                return (f"cycle {i} ({phase}), port {name}: expected "
                        f"{_show(exp[name], width)}, got {_show(val[name], width)}")
    return None
