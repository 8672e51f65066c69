import vexolin


def test_module_imports_with_its_name():
    assert vexolin.__name__ == "vexolin"
    assert isinstance(vexolin.__all__, list)
