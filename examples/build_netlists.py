"""Regenerates the committed netlists of the examples in every style.

    python examples/build_netlists.py [NAME ...]

Each example of examples.json gets netlists/NAME.STYLE.json and netlists/NAME.STYLE.torder.
"""

from __future__ import annotations

import json
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "flows"))

import vexflow  # noqa: E402


def main(names: list[str]) -> int:
    examples = json.loads((HERE / "examples.json").read_text())
    for name in names or examples:
        ex = examples[name]
        for style in vexflow.STYLES:
            res = vexflow.synthesize([HERE / s for s in ex["sources"]], style, HERE / "netlists",
                                     top=ex["top"], stem=name)
            print(f"{name} {style}: {res.netlist.relative_to(HERE)}")
            for note in res.notes:
                print(f"  note: {note}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
