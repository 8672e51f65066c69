"""Writes the Liberty file of the ASAP7 cells that vexolin simulates.

The library carries only what Yosys' ``dfflibmap`` and ``abc -liberty`` need to map onto these
cells: pin directions, Boolean functions, the flip-flop's state description, and areas. Areas grow
with the number of inputs and the drive strength, so the mapper prefers the weakest cell of a
family; there is no timing data.

    python flows/gen_liberty.py [-o flows/asap7_vexolin.lib]
"""

from __future__ import annotations

import argparse
import re
import sys
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import cells  # noqa: E402

DEFAULT_OUTPUT = Path(__file__).resolve().parent / "asap7_vexolin.lib"


def drive_strength(type_name: str) -> float:
    """The number in a drive suffix such as x1p5 or xp33 (1.5, 0.33)."""
    m = re.search(r"x(\d*)(?:p(\d+))?f?_ASAP7_75t_R$", type_name)
    whole, frac = m.group(1) or "0", m.group(2) or ""
    return float(f"{whole}.{frac}" if frac else whole)


def area(type_name: str, n_pins: int) -> float:
    return round(0.02 * (n_pins + 1) * (1.0 + drive_strength(type_name)), 4)


def _pin(name: str, direction: str, function: str | None = None, clock: bool = False) -> str:
    lines = [f"    pin ({name}) {{", f"      direction : {direction};"]
    if direction == "input":
        lines.append("      capacitance : 0.5;")
    if clock:
        lines.append("      clock : true;")
    if function is not None:
        lines.append(f'      function : "{function}";')
    lines.append("    }")
    return "\n".join(lines)


def liberty_text() -> str:
    out = [
        "/* ASAP7 cells simulated by vexolin: functions only, written by flows/gen_liberty.py. */",
        "library (asap7_vexolin) {",
        "  delay_model : table_lookup;",
        '  time_unit : "1ps";',
        '  voltage_unit : "1V";',
        '  current_unit : "1mA";',
        '  capacitive_load_unit (1, ff);',
        '  pulling_resistance_unit : "1kohm";',
        "  default_max_transition : 320;",
        "",
    ]
    for fam in cells.STD_FAMILIES:
        for name in fam.type_names():
            out.append(f"  cell ({name}) {{")
            out.append(f"    area : {area(name, len(fam.inputs) + len(fam.outputs))};")
            for pin in fam.inputs:
                out.append(_pin(pin, "input"))
            for pin, fn in fam.outputs.items():
                out.append(_pin(pin, "output", cells.to_liberty(fn)))
            out.append("  }")
    for name in cells.DFFHQN_NAMES:
        out.append(f"  cell ({name}) {{")
        out.append(f"    area : {area(name, 3) * 4};")
        out.append('    ff (IQ, IQN) {')
        out.append('      clocked_on : "CLK";')
        out.append('      next_state : "D";')
        out.append("    }")
        out.append(_pin("CLK", "input", clock=True))
        out.append(_pin("D", "input"))
        out.append(_pin("QN", "output", "IQN"))
        out.append("  }")
    out.append("}")
    return "\n".join(out) + "\n"


def main(argv: list[str] | None = None) -> int:
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("-o", "--output", type=Path, default=DEFAULT_OUTPUT)
    args = ap.parse_args(argv)
    args.output.write_text(liberty_text())
    return 0


if __name__ == "__main__":
    sys.exit(main())
