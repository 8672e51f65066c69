"""Test designs: the fixture files under data/ and small netlists written on the fly."""

from pathlib import Path

import vexolin

DATA = Path(__file__).parent / "data"


def fixture_paths(name):
    """The netlist and order file of a design kept under tests/data."""
    return DATA / f"{name}.json", DATA / f"{name}.torder"


def load(name, config=None, **kwargs):
    netlist, torder = fixture_paths(name)
    return vexolin.HardwareDesign(netlist, torder, config or {}, **kwargs)


def netlist_document(ports, cells=None, netnames=None, top="top"):
    """A one-module netlist. `ports` maps a name to (direction, bits); unless `netnames` is given,
    every port gets a netname of its own name and bits."""
    if netnames is None:
        netnames = {name: {"bits": bits} for name, (_, bits) in ports.items()}
    module = {
        "attributes": {"top": "00000000000000000000000000000001"},
        "ports": {name: {"direction": d, "bits": bits} for name, (d, bits) in ports.items()},
        "cells": cells or {},
        "netnames": netnames,
    }
    return {"creator": "vexolin tests", "modules": {top: module}}


def nets(first, count):
    return list(range(first, first + count))
