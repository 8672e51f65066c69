"""vexolin against Icarus Verilog: every example and seeded random designs, in every style.

Each run compares every output after the inputs settle and after every clock cycle, and reports
the first difference. ``VEXOLIN_LONG=1`` runs a long campaign (more designs, more cycles);
``VEXOLIN_LONG=N`` with N > 1 runs N random designs.
"""

from __future__ import annotations

import json
import os
import shutil
from pathlib import Path

import pytest

from difftest import harness, randdesign
import vexflow

pytest.importorskip("vexolin")
if shutil.which("iverilog") is None or shutil.which("vvp") is None:
    pytest.skip("Icarus Verilog (iverilog, vvp) is not installed", allow_module_level=True)

LONG = int(os.environ.get("VEXOLIN_LONG", "0") or 0)
RANDOM_DESIGNS = (LONG if LONG > 1 else 100) if LONG else 6
CYCLES = 2000 if LONG else 200
EXAMPLES = harness.examples()
NETLISTS = harness.REPO / "examples" / "netlists"


def _have_yosys() -> bool:
    try:
        vexflow.find_yosys()
    except vexflow.FlowError:
        return False
    return True


needs_yosys = pytest.mark.skipif(not _have_yosys(), reason="no Yosys to run the flows")


def _compare(design, netlists: dict[str, tuple[Path, Path]], workdir: Path, seed: int) -> None:
    """Every style against Icarus; the top-level port nets must toggle alike in every style."""
    ports = harness.Ports.of(next(iter(netlists.values()))[0], design.top)
    steps = harness.stimulus(design, ports, CYCLES, seed)
    expected = harness.run_icarus(design, ports, steps, workdir / "icarus")
    toggles = {}
    for style, (netlist, order) in netlists.items():
        got = harness.run_vexolin(netlist, order, design, ports, steps)
        mismatch = harness.first_mismatch(expected, got, ports)
        assert mismatch is None, f"{design.sources[0]} ({style}): {mismatch}"
        toggles[style] = {p: got.toggles[""][p] for p in [*ports.inputs, *ports.outputs]}
    first_style, reference = next(iter(toggles.items()))
    assert any(reference[o] for o in ports.outputs), "no output ever changed"
    for style, counts in toggles.items():
        assert counts == reference, f"port toggles of {style} differ from {first_style}"


@pytest.mark.parametrize("name", sorted(EXAMPLES))
def test_example_matches_icarus(name, tmp_path):
    design = EXAMPLES[name]
    netlists = {s: (NETLISTS / f"{name}.{s}.json", NETLISTS / f"{name}.{s}.torder")
                for s in vexflow.STYLES}
    _compare(design, netlists, tmp_path, seed=sum(map(ord, name)))


@needs_yosys
@pytest.mark.parametrize("seed", range(RANDOM_DESIGNS))
def test_random_design_matches_icarus(seed, tmp_path):
    top, text = randdesign.generate(seed)
    source = tmp_path / f"{top}.v"
    source.write_text(text)
    design = harness.Design(top, top, [source], rare={"arst_n": 0})
    netlists = {}
    for style in vexflow.STYLES:
        res = vexflow.synthesize([source], style, tmp_path, top=top)
        netlists[style] = (res.netlist, res.order)
    _compare(design, netlists, tmp_path, seed)


@pytest.mark.parametrize("style", vexflow.STYLES)
def test_hierarchy_of_flattened_design_is_kept(style):
    import vexolin

    design = EXAMPLES["pipeline"]
    netlist, order = NETLISTS / f"pipeline.{style}.json", NETLISTS / f"pipeline.{style}.torder"
    hw = vexolin.HardwareDesign(str(netlist), str(order), {})
    expected = set(design.hierarchy)
    assert set(hw.modules) == expected
    assert set(hw.toggle_count("total", by_net=False)) == expected
    by_net = hw.toggle_count("rising")
    # Each instance's ports are named inside its own scope.
    assert {"a", "b", "cin", "sum"} <= set(by_net["s1.add"])
    assert {"in", "k", "out"} <= set(by_net["s0"])
    assert {"value", "sum"} <= set(by_net["chk"])


@needs_yosys
@pytest.mark.parametrize("name", sorted(EXAMPLES))
def test_committed_netlists_are_current(name, tmp_path):
    design = EXAMPLES[name]
    for style in vexflow.STYLES:
        committed = json.loads((NETLISTS / f"{name}.{style}.json").read_text())
        res = vexflow.synthesize(design.sources, style, tmp_path, top=design.top, stem=name)
        fresh = json.loads(res.netlist.read_text())
        if fresh["creator"] != committed["creator"]:
            pytest.skip(f"netlists were made by {committed['creator']}")
        assert fresh == committed, f"{name}.{style}: run examples/build_netlists.py"
        assert res.order.read_text() == (NETLISTS / f"{name}.{style}.torder").read_text()
