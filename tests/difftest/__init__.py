"""Differential testing of vexolin against Icarus Verilog: harness, random designs."""

import sys
from pathlib import Path

FLOWS = Path(__file__).resolve().parents[2] / "flows"
if str(FLOWS) not in sys.path:
    sys.path.insert(0, str(FLOWS))
