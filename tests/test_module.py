import ast
import importlib
import inspect
import sys
from pathlib import Path

import pytest

import vexolin

CLASSES = ["PortConfig", "Ports", "HardwareDesign"]


def test_module_holds_exactly_its_three_classes():
    assert vexolin.__name__ == "vexolin"
    assert vexolin.__all__ == CLASSES
    public = [name for name in vars(vexolin) if not name.startswith("_")]
    assert public == CLASSES
    for name in CLASSES:
        cls = getattr(vexolin, name)
        assert isinstance(cls, type) and cls.__module__ == "vexolin" and cls.__name__ == name


def test_later_imports_hand_out_the_same_module(monkeypatch):
    monkeypatch.delitem(sys.modules, "vexolin")
    again = importlib.import_module("vexolin")
    assert again is vexolin
    assert again.HardwareDesign is vexolin.HardwareDesign


def test_a_sub_interpreter_cannot_load_the_module(tmp_path):
    testcapi = pytest.importorskip("_testcapi")
    result = tmp_path / "result"
    code = (
        "try:\n"
        "    import vexolin\n"
        "    outcome = 'imported'\n"
        "except ImportError as error:\n"
        "    outcome = 'ImportError: ' + str(error)\n"
        f"open({str(result)!r}, 'w').write(outcome)\n"
    )
    assert testcapi.run_in_subinterp(code) == 0
    assert result.read_text() == "ImportError: vexolin cannot be loaded in a sub-interpreter"


# The stub shipped beside the module must describe the same API.

def stub_tree():
    stub = Path(vexolin.__file__).with_name("vexolin.pyi")
    return ast.parse(stub.read_text())


def stub_classes(tree):
    return {node.name: node for node in tree.body if isinstance(node, ast.ClassDef)}


def stub_members(cls):
    methods = {n.name: n for n in cls.body if isinstance(n, ast.FunctionDef)}
    fields = {n.target.id for n in cls.body if isinstance(n, ast.AnnAssign)}
    return methods, fields


def stub_parameters(function):
    """(name, default) pairs after self; the default is a Python value or `inspect._empty`."""
    args = function.args
    names = [a.arg for a in args.args][1:]
    defaults = [ast.literal_eval(d) for d in args.defaults]
    padded = [inspect.Parameter.empty] * (len(names) - len(defaults)) + defaults
    return list(zip(names, padded))


def runtime_parameters(signature, drop_self):
    parameters = list(signature.parameters.values())[1 if drop_self else 0:]
    return [(p.name, p.default) for p in parameters]


def test_stub_declares_every_public_name():
    tree = stub_tree()
    declared_all = [n for n in tree.body
                    if isinstance(n, ast.AnnAssign) and n.target.id == "__all__"]
    assert declared_all
    assert sorted(stub_classes(tree)) == sorted(vexolin.__all__)


@pytest.mark.parametrize("name", CLASSES)
def test_stub_members_match_the_classes(name):
    cls = getattr(vexolin, name)
    methods, fields = stub_members(stub_classes(stub_tree())[name])
    runtime_public = {n for n in dir(cls) if not n.startswith("_")}
    stub_public = {n for n in methods if not n.startswith("_")} | fields
    instance_only = stub_public - runtime_public
    assert runtime_public <= stub_public
    # Fields the class does not show are the design's instance-dict entries.
    assert instance_only <= {"ports", "modules"}


def test_stub_instance_fields_exist_on_a_design():
    from designs import load

    _, fields = stub_members(stub_classes(stub_tree())["HardwareDesign"])
    design = load("inverter")
    assert fields == set(vars(design))


@pytest.mark.parametrize("name", CLASSES)
def test_stub_signatures_match(name):
    cls = getattr(vexolin, name)
    methods, _ = stub_members(stub_classes(stub_tree())[name])
    for method_name, function in methods.items():
        if method_name == "__init__":
            runtime = runtime_parameters(inspect.signature(cls), drop_self=False)
        elif method_name.startswith("_"):
            continue
        else:
            method = getattr(cls, method_name)
            runtime = runtime_parameters(inspect.signature(method), drop_self=True)
        assert runtime == stub_parameters(function), method_name
