"""A tour of vexolin on two examples.

Loads the committed netlist of examples/mac.v in one style, configures clock, reset and ports,
feeds a few products through the accumulator, and prints the outputs and toggle counts; then
clocks the hierarchical examples/pipeline.v and prints its toggles per module instance.

    python examples/demo.py [--style word|gate|stdcell]
"""

from __future__ import annotations

import argparse
from pathlib import Path

import numpy as np

import vexolin

NETLISTS = Path(__file__).resolve().parent / "netlists"


def main() -> None:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--style", choices=("word", "gate", "stdcell"), default="gate")
    style = ap.parse_args().style

    config = {
        "clk": vexolin.PortConfig(clock=True, polarity=1),
        # Active-low reset: eval_reset_clocked drives it to 0, then back to 1.
        "rst_n": vexolin.PortConfig(reset=True, polarity=0),
        "x": vexolin.PortConfig(dtype=np.int8),
        "y": vexolin.PortConfig(dtype=np.int8),
        "acc": vexolin.PortConfig(dtype=np.int32),
    }
    design = vexolin.HardwareDesign(
        NETLISTS / f"mac.{style}.json", NETLISTS / f"mac.{style}.torder", config)
    ports = design.ports
    print(f"mac ({style} netlist), modules: {sorted(design.modules)}")

    design.reset()
    design.eval_reset_clocked(1)
    print(f"after reset: acc = {ports.acc[0]}")

    ports.valid = 1
    pairs = [(3, 4), (-5, 6), (127, 127), (-128, 2), (0, 9)]
    print(f"{'x':>5} {'y':>5} {'x*y':>7} {'acc':>8}  negative")
    for x, y in pairs:
        ports.x = x
        ports.y = y
        design.eval_clocked(1)
        print(f"{x:5d} {y:5d} {x * y:7d} {ports.acc[0]:8d}  {bool(ports.negative[0])}")

    ports.clear = 1
    ports.x, ports.y = -7, 7
    design.eval_clocked(1)
    print(f"clear with x=-7, y=7: acc = {ports.acc[0]}")
    ports.clear = 0
    ports.valid = 0
    design.eval_clocked(3)
    print(f"three cycles without valid: acc = {ports.acc[0]}")

    print("\ntoggles per module (total):")
    for scope, count in sorted(design.toggle_count("total", by_net=False).items()):
        print(f"  {scope or '(top)':10s} {count:8d}")
    ports_only = design.toggle_count("total")[""]
    rising = design.toggle_count("rising")[""]
    print("\ntoggles of the ports (total / rising):")
    for name in ("clk", "rst_n", "clear", "valid", "x", "y", "acc", "negative"):
        print(f"  {name:10s} {ports_only[name]:6d} / {rising[name]:6d}")

    hierarchy(style)


def hierarchy(style: str) -> None:
    config = {
        "clk": vexolin.PortConfig(clock=True, polarity=1),
        "rst": vexolin.PortConfig(reset=True, polarity=1),
    }
    design = vexolin.HardwareDesign(
        NETLISTS / f"pipeline.{style}.json", NETLISTS / f"pipeline.{style}.torder", config)
    design.eval_reset_clocked(1)
    ports = design.ports
    ports.k0, ports.k1, ports.cin = 1, 2, 1
    for value in (10, 20, 30, 40):
        setattr(ports, "in", value)
        design.eval_clocked(1)
    print(f"\npipeline fed 10, 20, 30, 40: out = {ports.out[0]} (two stages deep: 30 + k0 + k1 "
          f"+ two carry-ins = {30 + 1 + 2 + 2}), checksum {ports.check[0]}")
    print("rising toggles per module instance:")
    for scope, count in sorted(design.toggle_count("rising", by_net=False).items()):
        print(f"  {scope or '(top)':10s} {count:6d}")


if __name__ == "__main__":
    main()
