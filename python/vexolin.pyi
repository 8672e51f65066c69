"""Logic simulator for Yosys-synthesised netlists."""

import os
from typing import Any, Dict, List, Optional, Tuple, Union

import networkx
import numpy

__all__: List[str]

_Path = Union[str, "os.PathLike[str]"]
_CellMapping = Dict[str, Tuple[str, Optional[Dict[str, str]]]]

class PortConfig:
    """How one top-level port is presented and driven."""

    shape: Tuple[int, int]
    dtype: Any
    clock: bool
    reset: bool
    polarity: Optional[int]
    def __init__(
        self,
        shape: Tuple[int, int] = ...,
        dtype: Any = None,
        clock: Union[bool, numpy.bool_] = False,
        reset: Union[bool, numpy.bool_] = False,
        polarity: Optional[int] = None,
    ) -> None: ...

class Ports:
    """The top-level ports of a design, one NumPy array per port.

    Assigning to an input port copies the value into its array and drives its nets; reading an
    output port refreshes its array from its nets. Integer reads of a port whose elements are
    wider than the array's item keep the low item-width bits of each element.
    """

    def __getattr__(self, name: str) -> numpy.ndarray: ...
    def __setattr__(self, name: str, value: Any) -> None: ...
    def __delattr__(self, name: str) -> None: ...

class HardwareDesign:
    """One design loaded from a JSON netlist and its topological-order file."""

    ports: Ports
    modules: List[str]
    def __init__(
        self,
        netlist_path: _Path,
        torder_path: _Path,
        config: Dict[str, PortConfig],
        hierarchy_separator: Optional[str] = None,
        top_module: Optional[str] = None,
        cell_mapping: Optional[_CellMapping] = None,
    ) -> None: ...
    def reset(self) -> None: ...
    def eval(self) -> None: ...
    def eval_clocked(self, cycles: Optional[int] = None) -> None: ...
    def eval_reset_clocked(self, cycles: Optional[int] = None) -> None: ...
    def stick_signal(self, net: int, val: int) -> None: ...
    def unstick_signal(self, net: int) -> None: ...
    def is_port_input(self, name: str) -> bool: ...
    def toggle_count(
        self, category: str = "total", by_net: Union[bool, numpy.bool_] = True
    ) -> Union[Dict[str, Dict[str, int]], Dict[str, int]]: ...
    def netlist(self) -> Dict[str, Any]: ...
    def netlist_graph(self) -> networkx.DiGraph: ...
