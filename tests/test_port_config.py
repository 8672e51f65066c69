import inspect

import numpy as np
import pytest

import vexolin
from designs import load

FIELDS = ["shape", "dtype", "clock", "reset", "polarity"]


def test_defaults():
    config = vexolin.PortConfig()
    assert config.shape == (1, 1) and type(config.shape[0]) is int
    assert config.dtype is np.uint
    assert config.clock is False and config.reset is False
    assert config.polarity is None


def test_arguments_by_position_and_keyword():
    by_position = vexolin.PortConfig((1, 4), "int8", True, False, 1)
    by_keyword = vexolin.PortConfig(polarity=1, clock=True, dtype="int8", shape=(1, 4))
    for config in (by_position, by_keyword):
        assert (config.shape, config.dtype, config.clock, config.reset, config.polarity) == (
            (1, 4), "int8", True, False, 1)


def test_signature_and_docstring():
    assert vexolin.PortConfig.__text_signature__ == (
        "(shape=..., dtype=None, clock=False, reset=False, polarity=None)")
    assert list(inspect.signature(vexolin.PortConfig).parameters) == FIELDS


def test_dtype_none_is_numpy_uint_in_the_constructor_but_stored_as_is_by_a_write():
    config = vexolin.PortConfig(dtype=None)
    assert config.dtype is np.uint
    config.dtype = None
    assert config.dtype is None
    marker = object()
    config.dtype = marker
    assert config.dtype is marker


def test_numpy_booleans_and_large_shapes_are_accepted():
    config = vexolin.PortConfig(shape=(2**64 - 1, 0), clock=np.bool_(True), reset=np.bool_(False))
    assert config.shape == (2**64 - 1, 0)
    assert config.clock is True and config.reset is False
    config.polarity = 255
    assert config.polarity == 255


BAD_VALUES = [
    ("shape", [1, 4], TypeError),
    ("shape", (1, 2, 3), ValueError),
    ("shape", (1,), ValueError),
    ("shape", (1, -1), OverflowError),
    ("shape", (2**64, 1), OverflowError),
    ("shape", (1, 1.0), TypeError),
    ("clock", 1, TypeError),
    ("clock", None, TypeError),
    ("reset", "yes", TypeError),
    ("polarity", 256, OverflowError),
    ("polarity", -1, OverflowError),
    ("polarity", 1.0, TypeError),
    ("polarity", "1", TypeError),
]


@pytest.mark.parametrize("field,value,error", BAD_VALUES)
def test_constructor_refuses_bad_values_naming_the_argument(field, value, error):
    with pytest.raises(error, match=f"'{field}'"):
        vexolin.PortConfig(**{field: value})


@pytest.mark.parametrize("field,value,error", BAD_VALUES)
def test_attribute_writes_refuse_the_same_values_and_keep_the_field(field, value, error):
    config = vexolin.PortConfig(shape=(1, 2), clock=True, polarity=1)
    before = getattr(config, field)
    with pytest.raises(error, match=f"'{field}'"):
        setattr(config, field, value)
    assert getattr(config, field) == before


def test_arguments_are_converted_in_order():
    with pytest.raises(TypeError, match="'shape'"):
        vexolin.PortConfig(shape=[1], clock=1, polarity=-1)
    with pytest.raises(TypeError, match="'clock'"):
        vexolin.PortConfig(clock=1, polarity=-1)


def test_binding_errors():
    with pytest.raises(TypeError):
        vexolin.PortConfig((1, 1), None, False, False, None, 6)
    with pytest.raises(TypeError):
        vexolin.PortConfig(colour=1)


@pytest.mark.parametrize("field", FIELDS)
def test_attributes_cannot_be_deleted(field):
    config = vexolin.PortConfig()
    with pytest.raises(AttributeError, match="^can't delete attribute$"):
        delattr(config, field)


def test_no_other_attributes():
    config = vexolin.PortConfig()
    with pytest.raises(AttributeError):
        config.width = 3
    assert not hasattr(config, "__dict__")


class TestBinding:
    def test_a_later_change_does_not_reach_a_built_design(self):
        config = vexolin.PortConfig(shape=(1, 2), dtype=np.uint8)
        design = load("clocked", {"pair": config})
        config.shape = (1, 1)
        config.dtype = np.int64
        assert design.ports.pair.dtype == np.uint8 and len(design.ports.pair) == 2

    def test_subclasses_are_accepted(self):
        class Named(vexolin.PortConfig):
            pass

        design = load("clocked", {"pair": Named(shape=(1, 2), dtype=np.uint8)})
        assert len(design.ports.pair) == 2

    def test_writes_are_refused_while_a_constructor_reads_the_record(self):
        seen = []

        class Dtype:
            # NumPy consults `.dtype` of the object while it builds the array.
            @property
            def dtype(self):
                try:
                    config.shape = (1, 1)
                except RuntimeError as error:
                    seen.append(str(error))
                return np.dtype(np.uint8)

        config = vexolin.PortConfig(shape=(1, 2), dtype=Dtype())
        design = load("clocked", {"pair": config})
        assert seen and set(seen) == {"Already borrowed"}
        assert config.shape == (1, 2) and len(design.ports.pair) == 2
        config.shape = (1, 1)  # free again once the constructor is done
        assert config.shape == (1, 1)

    def test_polarity_of_an_ordinary_port_is_ignored(self):
        design = load("clocked", {"pair": vexolin.PortConfig(polarity=7)})
        assert design.ports.pair.dtype == np.uint
