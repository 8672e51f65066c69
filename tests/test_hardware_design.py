import contextlib
import gc
import inspect
import io
import os
import signal
import sys
import weakref

import numpy as np
import pytest

import vexolin
from designs import fixture_paths, load, nets

PortConfig = vexolin.PortConfig
CLOCK = PortConfig(clock=True, polarity=1)
RESET = PortConfig(reset=True, polarity=1)


def designs_alive():
    return [o for o in gc.get_objects() if type(o) in (vexolin.HardwareDesign, vexolin.Ports)]


class FsPath:
    def __init__(self, path):
        self.path = path

    def __fspath__(self):
        return self.path


class TestConstructorArguments:
    @pytest.mark.parametrize("convert", [str, lambda p: p, lambda p: FsPath(str(p))])
    def test_paths_are_str_or_path_like(self, convert):
        netlist, torder = fixture_paths("inverter")
        design = vexolin.HardwareDesign(convert(netlist), convert(torder), {})
        assert design.is_port_input("a")

    def test_everything_by_keyword(self):
        netlist, torder = fixture_paths("inverter")
        design = vexolin.HardwareDesign(
            config={}, torder_path=torder, netlist_path=netlist, hierarchy_separator=None,
            top_module="top", cell_mapping=None)
        assert design.is_port_input("a")

    @pytest.mark.parametrize("args,kwargs,argument,error", [
        ((b"n.json", "t"), {}, "netlist_path", TypeError),
        (("n.json", FsPath(b"t")), {}, "torder_path", TypeError),
        (("n.json", 3), {}, "torder_path", TypeError),
        (("n", "t"), {"config": [("a", PortConfig())]}, "config", TypeError),
        (("n", "t"), {"config": {"a": 1}}, "config", TypeError),
        (("n", "t"), {"config": {1: PortConfig()}}, "config", TypeError),
        (("n", "t", {}), {"hierarchy_separator": b"."}, "hierarchy_separator", TypeError),
        (("n", "t", {}), {"top_module": 1}, "top_module", TypeError),
        (("n", "t", {}), {"cell_mapping": [("$_NOT_", None)]}, "cell_mapping", TypeError),
        (("n", "t", {}), {"cell_mapping": {"T": ["$_NOT_", None]}}, "cell_mapping", TypeError),
        (("n", "t", {}), {"cell_mapping": {"T": ("$_NOT_",)}}, "cell_mapping", ValueError),
        (("n", "t", {}), {"cell_mapping": {"T": ("$_NOT_", None, 1)}}, "cell_mapping",
         ValueError),
        (("n", "t", {}), {"cell_mapping": {"T": (1, None)}}, "cell_mapping", TypeError),
        (("n", "t", {}), {"cell_mapping": {"T": ("$_NOT_", {"A": 1})}}, "cell_mapping",
         TypeError),
        (("n", "t", {}), {"cell_mapping": {"T": ("$_NOT_", [])}}, "cell_mapping", TypeError),
    ])
    def test_conversion_errors_name_the_argument(self, args, kwargs, argument, error):
        if len(args) == 2:
            kwargs.setdefault("config", {})
        with pytest.raises(error, match=f"'{argument}'"):
            vexolin.HardwareDesign(*args, **kwargs)

    @pytest.mark.parametrize("args,kwargs", [
        (("n", "t"), {}),
        (("n", "t", {}), {"colour": 1}),
        (("n", "t", {}), {"netlist_path": "n"}),
        (("n", "t", {}, None, None, None, None), {}),
    ])
    def test_binding_errors(self, args, kwargs):
        with pytest.raises(TypeError):
            vexolin.HardwareDesign(*args, **kwargs)

    def test_arguments_are_checked_before_any_file_is_read(self):
        with pytest.raises(TypeError, match="'top_module'"):
            vexolin.HardwareDesign("/no/such/file", "/no/such/file", {}, top_module=3)

    def test_a_dict_subclass_is_a_valid_config(self):
        class Config(dict):
            pass

        design = load("clocked", Config(pair=PortConfig(shape=(1, 2))))
        assert len(design.ports.pair) == 2


class TestConstructionFailures:
    def test_core_errors_are_runtime_errors_with_their_text(self, write_design, tmp_path):
        netlist, torder = fixture_paths("inverter")
        with pytest.raises(RuntimeError, match="No such file"):
            vexolin.HardwareDesign(tmp_path / "missing.json", torder, {})
        broken = tmp_path / "broken.json"
        broken.write_text('{"modules": {"top": {"ports": {"a": {"bits": [2]}}}}}')
        with pytest.raises(RuntimeError, match=r"^missing field `direction` at line 1 column \d+$"):
            vexolin.HardwareDesign(broken, torder, {})
        with pytest.raises(RuntimeError, match=r"^No modules given$"):
            vexolin.HardwareDesign(netlist, torder, {}, top_module="other")
        empty_order = tmp_path / "empty.torder"
        empty_order.write_text("")
        with pytest.raises(RuntimeError, match=r"^Module `top` missing from topological order$"):
            vexolin.HardwareDesign(netlist, empty_order, {})

    @pytest.mark.parametrize("ports,cells,message", [
        ({"io": ("inout", [2])}, {}, "Direction `inout` not supported"),
        ({"a": ("input", [2])}, {"c": {"type": "$bogus", "connections": {}}},
         "Unsupported cell `$bogus`"),
        ({"a": ("input", [2])}, {"c": {"type": "$_NOT_", "connections": {"A": [2], "Y": ["x"]}}},
         "Direction `X` not supported"),
    ])
    def test_netlist_problems(self, build, ports, cells, message):
        with pytest.raises(RuntimeError) as caught:
            build(ports, cells=cells)
        assert str(caught.value) == message

    def test_a_cell_without_a_pin_its_kind_reads_fails_construction(self, build):
        cells = {"inv": {"type": "$_NOT_", "connections": {"A": [2]}}}
        with pytest.raises(RuntimeError, match="inv|Y"):
            build({"a": ("input", [2]), "y": ("output", [3])}, cells=cells)

    def test_nothing_remains_of_a_failed_construction(self, build):
        gc.collect()
        before = len(designs_alive())
        ports = {"a": ("input", [2]), "b": ("input", [3])}
        for config in ({"a": PortConfig(shape=(2, 1))}, {"b": PortConfig(dtype="nonsense")}):
            with pytest.raises((ValueError, TypeError)):
                build(ports, config)
            # No collection: the failed design and its ports object are gone at once.
            assert len(designs_alive()) == before

    def test_numpy_errors_from_building_an_array_pass_unchanged(self):
        with pytest.raises(TypeError, match="nonsense"):
            load("clocked", {"pair": PortConfig(dtype="nonsense")})


class TestClockAndResetBinding:
    @pytest.mark.parametrize("config,error,message", [
        ({"clk": PortConfig(clock=True)}, ValueError, "No polarity given"),
        ({"rst": PortConfig(reset=True)}, ValueError, "No polarity given"),
        ({"clk": PortConfig(clock=True, polarity=7)}, RuntimeError,
         "Couldn't convert `7` to a Bit, must be 0 or 1"),
        ({"unnamed": CLOCK}, AttributeError, "No net `unnamed`"),
        ({"pair": CLOCK}, AttributeError, ">1 clock or reset bits"),
        ({"pair": RESET}, AttributeError, ">1 clock or reset bits"),
        ({"clk": PortConfig(clock=True, reset=True, polarity=1)}, RuntimeError,
         "Signal cannot be configured as both a reset and clock"),
        # The checks run in order: polarity first, then the nets, then the shape.
        ({"pair": PortConfig(clock=True)}, ValueError, "No polarity given"),
        ({"pair": PortConfig(reset=True, polarity=2)}, RuntimeError,
         "Couldn't convert `2` to a Bit, must be 0 or 1"),
        ({"pair": PortConfig(shape=(2, 1), clock=True, polarity=0)}, AttributeError,
         ">1 clock or reset bits"),
        ({"clk": PortConfig(shape=(2, 1), clock=True, polarity=0)}, ValueError,
         r"Only 1D shapes supported: [2, 1]"),
    ])
    def test_binding_errors_in_their_order(self, config, error, message):
        with pytest.raises(error) as caught:
            load("clocked", config)
        assert str(caught.value) == message

    def test_a_port_without_nets_cannot_be_a_clock(self, build):
        with pytest.raises(AttributeError, match=r"^>1 clock or reset bits$"):
            build({"clk": ("input", [])}, {"clk": CLOCK})

    def test_clock_and_reset_on_two_ports(self):
        design = load("clocked", {"clk": CLOCK, "rst": RESET})
        design.eval_reset_clocked(2)
        counts = design.toggle_count("rising")[""]
        assert (counts["clk"], counts["rst"]) == (2, 1)


class TestShapes:
    def test_a_shape_must_be_one_dimensional(self):
        with pytest.raises(ValueError) as caught:
            load("clocked", {"pair": PortConfig(shape=(2, 4))})
        assert str(caught.value) == "Only 1D shapes supported: [2, 4]"

    def test_the_element_count_must_divide_the_bits(self, build):
        with pytest.raises(RuntimeError) as caught:
            build({"a": ("input", nets(2, 12))}, {"a": PortConfig(shape=(1, 5))})
        assert str(caught.value) == "incompatible shapes: requested=[5, 2], actual=[1, 12]"

    def test_unknown_config_keys_are_ignored_and_other_ports_take_defaults(self):
        design = load("clocked", {"pairs": PortConfig(shape=(1, 2))})
        for name in ("clk", "rst", "pair", "nclk", "nrst", "unnamed"):
            array = vars(design.ports)[name]
            assert array.shape == (1,) and array.dtype == np.uint and not array.any()


class TestInstance:
    def test_instance_dict_holds_ports_and_modules(self):
        design = load("clocked")
        assert sorted(vars(design)) == ["modules", "ports"]
        assert isinstance(design.ports, vexolin.Ports)
        assert design.modules == [""]
        design.label = "mine"
        assert design.label == "mine"
        assert weakref.ref(design)() is design

    def test_modules_follow_the_hierarchy_separator(self, build):
        ports = {"a": ("input", [2]), "y": ("output", [3])}
        cells = {"u1.inv": {"type": "$_NOT_", "connections": {"A": [2], "Y": [3]}}}
        netnames = {"a": {"bits": [2]}, "y": {"bits": [3]}, "u1.mid": {"bits": [3]}}
        design = build(ports, cells=cells, netnames=netnames, hierarchy_separator=".")
        assert sorted(design.modules) == ["", "u1"]
        design.ports.a = 0
        design.eval()
        assert design.toggle_count("rising") == {"": {"a": 0, "y": 1}, "u1": {"mid": 1}}

    def test_a_dropped_design_is_freed(self):
        design = load("clocked")
        alive = weakref.ref(design)
        del design
        gc.collect()
        assert alive() is None

    def test_cell_mapping_replaces_a_type_and_renames_its_pins(self, build):
        ports = {"a": ("input", [2]), "y": ("output", [3])}
        cells = {"inv": {"type": "MYINV", "connections": {"I": [2], "O": [3]}}}
        mapping = {"MYINV": ("$_NOT_", {"I": "A", "O": "Y"})}
        design = build(ports, cells=cells, cell_mapping=mapping)
        design.eval()
        assert design.ports.y.tolist() == [1]


SIGNATURES = {
    "reset": "($self)",
    "eval": "($self)",
    "eval_clocked": "($self, cycles=None)",
    "eval_reset_clocked": "($self, cycles=None)",
    "stick_signal": "($self, net, val)",
    "unstick_signal": "($self, net)",
    "is_port_input": "($self, name)",
    "toggle_count": '($self, category="total", by_net=True)',
    "netlist": "($self)",
    "netlist_graph": "($self)",
}


class TestSignatures:
    def test_class_signature(self):
        assert vexolin.HardwareDesign.__text_signature__ == (
            "(netlist_path, torder_path, config, hierarchy_separator=None, top_module=None, "
            "cell_mapping=None)")
        assert str(inspect.signature(vexolin.HardwareDesign)) == (
            "(netlist_path, torder_path, config, hierarchy_separator=None, top_module=None, "
            "cell_mapping=None)")

    def test_every_method_has_its_text_signature_and_nothing_else(self):
        methods = {n for n in dir(vexolin.HardwareDesign) if not n.startswith("_")}
        assert methods == set(SIGNATURES)
        design = load("inverter")
        for name, text in SIGNATURES.items():
            method = getattr(vexolin.HardwareDesign, name)
            assert method.__text_signature__ == text
            assert method.__doc__ is None
            bound = inspect.signature(getattr(design, name))
            assert str(bound) == text.replace("$self, ", "").replace("$self", "").replace('"', "'")

    @pytest.mark.parametrize("name", ["reset", "eval", "netlist", "netlist_graph"])
    def test_methods_without_arguments_refuse_any(self, name):
        with pytest.raises(TypeError):
            getattr(load("inverter"), name)(1)


class TestClocked:
    def test_without_clock_or_reset(self):
        design = load("clocked")
        with pytest.raises(RuntimeError, match="^No clock configured$"):
            design.eval_clocked()
        with pytest.raises(RuntimeError, match="^No reset configured$"):
            design.eval_reset_clocked()
        design = load("clocked", {"rst": RESET})
        with pytest.raises(RuntimeError, match="^No clock configured$"):
            design.eval_reset_clocked()
        assert design.ports.nrst.tolist() == [0]  # the reset stays active, nothing settled

    @pytest.mark.parametrize("cycles,error", [(-1, OverflowError), ("2", TypeError),
                                              (2.0, TypeError), (2**64, OverflowError)])
    def test_cycle_counts(self, cycles, error):
        design = load("clocked", {"clk": CLOCK})
        with pytest.raises(error, match="'cycles'"):
            design.eval_clocked(cycles)
        with pytest.raises(error, match="'cycles'"):
            design.eval_reset_clocked(cycles=cycles)

    @pytest.mark.parametrize("call,rising", [
        (lambda d: d.eval_clocked(), 1),
        (lambda d: d.eval_clocked(None), 1),
        (lambda d: d.eval_clocked(cycles=3), 3),
        (lambda d: d.eval_clocked(0), 0),
        (lambda d: d.eval_clocked(True), 1),
    ])
    def test_cycles_drive_the_clock(self, call, rising):
        design = load("clocked", {"clk": CLOCK})
        call(design)
        counts = design.toggle_count("rising")[""]
        assert counts["clk"] == rising
        assert design.toggle_count("falling")[""]["clk"] == rising

    @pytest.mark.parametrize("polarity,nclk", [(1, 1), (0, 0)])
    def test_polarity_sets_the_level_a_cycle_ends_on(self, polarity, nclk):
        design = load("clocked", {"clk": PortConfig(clock=True, polarity=polarity)})
        design.eval_clocked(2)
        assert design.ports.nclk.tolist() == [nclk]


class TestSignals:
    @pytest.mark.parametrize("net,val,error,message", [
        (2, 2, RuntimeError, "Couldn't convert `2` to a Bit, must be 0 or 1"),
        (99, 2, RuntimeError, "Couldn't convert `2` to a Bit, must be 0 or 1"),
        (99, 1, RuntimeError, "Net `99` doesn't exist"),
        (2, 256, OverflowError, None),
        (-1, 1, OverflowError, None),
        ("2", 1, TypeError, None),
        (2, "1", TypeError, None),
    ])
    def test_stick_signal_errors(self, net, val, error, message):
        design = load("inverter")
        with pytest.raises(error) as caught:
            design.stick_signal(net, val)
        if message:
            assert str(caught.value) == message
        else:
            assert "'net'" in str(caught.value) or "'val'" in str(caught.value)

    def test_eval_without_cells(self, build):
        assert build({"a": ("input", [2])}).eval() is None

    def test_stick_and_unstick(self):
        design = load("inverter")
        design.stick_signal(net=3, val=1)
        design.ports.a = 1
        design.eval()
        assert design.ports.y.tolist() == [1]
        design.unstick_signal(3)
        design.eval()
        assert design.ports.y.tolist() == [0]
        with pytest.raises(RuntimeError, match=r"^Net `4` doesn't exist$"):
            design.unstick_signal(4)

    def test_reset_clears_nets_but_keeps_arrays(self):
        design = load("inverter")
        design.ports.a = 1
        design.stick_signal(3, 1)
        design.reset()
        assert design.toggle_count() == {"": {"a": 0, "y": 0}}
        assert design.ports.a.tolist() == [1]
        assert design.ports.y.tolist() == [0]

    def test_is_port_input(self):
        design = load("inverter")
        assert design.is_port_input("a") is True
        assert design.is_port_input(name="y") is False
        with pytest.raises(RuntimeError, match=r"^Port `nope` doesn't exist$"):
            design.is_port_input("nope")
        with pytest.raises(TypeError, match="'name'"):
            design.is_port_input(1)


class TestToggleCount:
    def run(self):
        design = load("inverter")
        design.eval()  # y rises
        design.ports.a = 1
        design.eval()  # a rises, y falls
        return design

    @pytest.mark.parametrize("args,expected", [
        ((), {"": {"a": 1, "y": 2}}),
        (("rising",), {"": {"a": 1, "y": 1}}),
        (("falling",), {"": {"a": 0, "y": 1}}),
        (("total", False), {"": 3}),
        (("falling", np.bool_(False)), {"": 1}),
    ])
    def test_categories_and_grouping(self, args, expected):
        assert self.run().toggle_count(*args) == expected

    @pytest.mark.parametrize("kwargs,error,message", [
        ({"category": "Total"}, ValueError, "Invalid toggle category `Total`"),
        ({"category": ""}, ValueError, "Invalid toggle category ``"),
        ({"category": 1}, TypeError, None),
        ({"by_net": 1}, TypeError, None),
        ({"category": "Total", "by_net": 1}, TypeError, None),
    ])
    def test_errors(self, kwargs, error, message):
        with pytest.raises(error) as caught:
            load("inverter").toggle_count(**kwargs)
        if message:
            assert str(caught.value) == message


def inverter_graph_expectation():
    nodes = [
        (0, {"rtlid": "$input"}),
        (1, {"rtlid": "$output"}),
        (2, {"rtlid": "u0", "cell_type": "$_NOT_", "src": "inverter.v:3.12-3.14"}),
    ]
    edges = [(0, 2, {"net": 2, "user": "A"}), (2, 1, {"net": 3, "driver": "Y"})]
    return nodes, edges


class TestExport:
    def test_netlist_is_the_parsed_json_with_defaults_filled_in(self):
        design = load("inverter")
        netlist = design.netlist()
        cell = netlist["modules"]["top"]["cells"]["u0"]
        assert cell["hide_name"] == 0 and cell["type"] == "$_NOT_"
        assert netlist["modules"]["top"]["ports"]["a"] == {
            "direction": "input", "bits": [2], "offset": 0, "upto": 0, "signed": 0}
        second = design.netlist()
        assert second == netlist and second is not netlist

    def test_netlist_graph_of_the_inverter(self):
        import networkx

        graph = load("inverter").netlist_graph()
        assert isinstance(graph, networkx.DiGraph)
        nodes, edges = inverter_graph_expectation()
        assert list(graph.nodes(data=True)) == nodes
        assert sorted(graph.edges(data=True)) == edges

    def test_graph_calls_networkx_with_the_whole_lists(self, monkeypatch):
        import networkx

        calls = []

        class Recorder:
            def add_nodes_from(self, nodes):
                calls.append(("nodes", list(nodes)))

            def add_edges_from(self, edges):
                calls.append(("edges", list(edges)))

        monkeypatch.setattr(networkx, "DiGraph", Recorder)
        graph = load("inverter").netlist_graph()
        assert isinstance(graph, Recorder)
        nodes, edges = inverter_graph_expectation()
        assert calls == [("nodes", nodes), ("edges", edges)]

    @pytest.mark.parametrize("ports,cells,message", [
        ({"a": ("input", ["x"])}, {}, "Direction `X` not supported"),
        ({"a": ("input", [2])},
         {"c": {"type": "$_NOT_", "port_directions": {"A": "inout", "Y": "output"},
                "connections": {"A": [2], "Y": [3]}}},
         "Direction `inout` not supported"),
    ])
    def test_graph_failures_are_attribute_errors(self, build, ports, cells, message):
        netnames = {"n": {"bits": [2, 3]}}
        design = build(ports, cells=cells, netnames=netnames)
        with pytest.raises(AttributeError) as caught:
            design.netlist_graph()
        assert str(caught.value) == message
        assert design.netlist()["modules"]["top"]["ports"]["a"]["direction"] == "input"

    @pytest.mark.parametrize("module,method", [("networkx", "netlist_graph"),
                                               ("json", "netlist")])
    def test_missing_packages_raise_import_error(self, monkeypatch, module, method):
        design = load("inverter")
        monkeypatch.setitem(sys.modules, module, None)
        with pytest.raises(ImportError):
            getattr(design, method)()


class TestAccessFlag:
    def test_shared_calls_may_nest_but_exclusive_ones_may_not(self, monkeypatch):
        import networkx

        design = load("inverter")
        seen = []

        class Graph:
            def add_nodes_from(self, nodes):
                seen.append(sorted(design.toggle_count()))
                seen.append(design.is_port_input("a"))
                try:
                    design.eval()
                except RuntimeError as error:
                    seen.append(str(error))
                try:
                    design.ports.a = 1
                except RuntimeError as error:
                    seen.append(str(error))

            def add_edges_from(self, edges):
                pass

        monkeypatch.setattr(networkx, "DiGraph", Graph)
        design.netlist_graph()
        assert seen == [[""], True, "Already borrowed", "Already borrowed"]
        design.eval()  # released afterwards

    @pytest.mark.parametrize("reentry,message", [
        (lambda d: d.toggle_count(), "Already mutably borrowed"),
        (lambda d: d.netlist(), "Already mutably borrowed"),
        (lambda d: d.eval(), "Already borrowed"),
        (lambda d: d.ports.nclk, "Already borrowed"),
    ])
    def test_signal_handlers_during_a_run_cannot_use_the_design(self, reentry, message):
        design = load("clocked", {"clk": CLOCK})

        def handler(signum, frame):
            reentry(design)

        previous = signal.signal(signal.SIGALRM, handler)
        try:
            signal.setitimer(signal.ITIMER_REAL, 0.05)
            with pytest.raises(RuntimeError) as caught:
                design.eval_clocked(10**12)
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
            signal.signal(signal.SIGALRM, previous)
        assert str(caught.value) == message
        design.eval_clocked(1)


class TestInterrupt:
    @pytest.mark.parametrize("method", ["eval_clocked", "eval_reset_clocked"])
    def test_sigint_stops_a_long_run_at_a_cycle_boundary(self, method):
        design = load("clocked", {"clk": CLOCK, "rst": RESET})
        previous = signal.signal(signal.SIGALRM, lambda *_: signal.raise_signal(signal.SIGINT))
        try:
            signal.setitimer(signal.ITIMER_REAL, 0.05)
            with pytest.raises(KeyboardInterrupt):
                getattr(design, method)(10**9)
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
            signal.signal(signal.SIGALRM, previous)
        rising = design.toggle_count("rising")[""]["clk"]
        assert rising > 0
        assert design.toggle_count("falling")[""]["clk"] == rising
        design.eval_clocked(2)
        assert design.toggle_count("rising")[""]["clk"] == rising + 2

    def test_a_handler_that_does_not_raise_lets_the_run_go_on(self):
        design = load("clocked", {"clk": CLOCK})
        calls = []
        previous = signal.signal(signal.SIGALRM, lambda *_: calls.append(1))
        try:
            signal.setitimer(signal.ITIMER_REAL, 0.001, 0.001)
            design.eval_clocked(1_000_000)
        finally:
            signal.setitimer(signal.ITIMER_REAL, 0)
            signal.signal(signal.SIGALRM, previous)
        assert len(calls) >= 2  # more than the one that may arrive after the run
        assert design.toggle_count("rising")[""]["clk"] == 1_000_000


NOTICE_CELLS = {
    "inv": {"type": "$_NOT_", "parameters": {"FOO": "bad"}, "connections": {"A": [2], "Y": [3]}}
}
NOTICE = 'Ignoring parameter `FOO=S("bad")`\n'


class TestDiagnostics:
    PORTS = {"a": ("input", [2]), "y": ("output", [3])}

    def test_notices_reach_python_stdout(self, build, capsys, monkeypatch):
        monkeypatch.delenv("VEXOLIN_DEBUG", raising=False)
        build(self.PORTS, cells=NOTICE_CELLS)
        assert capsys.readouterr().out == NOTICE

    def test_debug_lines_while_the_variable_is_set(self, build, capsys, monkeypatch):
        monkeypatch.setenv("VEXOLIN_DEBUG", "")
        build(self.PORTS, cells=NOTICE_CELLS)
        out = capsys.readouterr().out
        assert NOTICE in out and "Parsing cell `$_NOT_`\n" in out

    def test_redirect_stdout_sees_them(self, build, monkeypatch):
        monkeypatch.delenv("VEXOLIN_DEBUG", raising=False)
        buffer = io.StringIO()
        with contextlib.redirect_stdout(buffer):
            build(self.PORTS, cells=NOTICE_CELLS)
        assert buffer.getvalue() == NOTICE

    def test_a_failing_stdout_is_reported_as_unraisable_and_construction_goes_on(
            self, build, monkeypatch):
        class Broken:
            def write(self, text):
                raise OSError("closed")

        reported = []
        monkeypatch.setattr(sys, "unraisablehook", reported.append)
        monkeypatch.setattr(sys, "stdout", Broken())
        design = build(self.PORTS, cells=NOTICE_CELLS)
        assert design.is_port_input("a")
        assert [type(r.exc_value) for r in reported] == [OSError]
