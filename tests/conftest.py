import json

import numpy as np
import pytest

import vexolin
from designs import netlist_document, nets


@pytest.fixture
def write_design(tmp_path):
    """Writes a netlist and an order file listing every cell; returns both paths."""

    def write(ports, cells=None, netnames=None, top="top"):
        netlist = tmp_path / "design.json"
        torder = tmp_path / "design.torder"
        netlist.write_text(json.dumps(netlist_document(ports, cells, netnames, top)))
        torder.write_text(f"module {top}\n" + "".join(f"  cell {c}\n" for c in cells or {}))
        return netlist, torder

    return write


@pytest.fixture
def build(write_design):
    def build(ports, config=None, cells=None, netnames=None, **kwargs):
        netlist, torder = write_design(ports, cells, netnames)
        return vexolin.HardwareDesign(netlist, torder, config or {}, **kwargs)

    return build


@pytest.fixture
def wire(build):
    """Input `a` and output `y` on the same `width` nets, so a write shows at once on a read.
    `y` defaults to one boolean element per net: a probe of every net."""

    def wire(width, a=None, y=None):
        probe = vexolin.PortConfig(shape=(1, width), dtype=np.bool_)
        ports = {"a": ("input", nets(2, width)), "y": ("output", nets(2, width))}
        config = {"a": a or vexolin.PortConfig(), "y": y or probe}
        return build(ports, config)

    return wire
