import gc
import weakref

import numpy as np
import pytest

import vexolin
from designs import nets

# Every supported item type, with its element width in bits.
INTEGER_AND_FLOAT = [
    (np.uint8, 8), (np.uint16, 16), (np.uint32, 32), (np.uint64, 64),
    (np.int8, 8), (np.int16, 16), (np.int32, 32), (np.int64, 64),
    (np.float16, 16), (np.float32, 32),
]


def is_signed(dtype):
    return np.issubdtype(dtype, np.signedinteger)


def sample_values(dtype, count, rng):
    if np.issubdtype(dtype, np.floating):
        return np.array([1.0, -2.5, np.inf, 0.1, -0.0][:count], dtype=dtype)
    info = np.iinfo(dtype)
    values = rng.integers(info.min, info.max, size=count, endpoint=True, dtype=dtype)
    values[0] = info.min  # the sign bit set, for the extension rules
    return values


def element_bits(values):
    """Each element's bits, least significant first, as NumPy lays them out."""
    raw = np.unpackbits(values.view(np.uint8), bitorder="little")
    return raw.reshape(len(values), -1)


def config(dtype, elements):
    return vexolin.PortConfig(shape=(1, elements), dtype=dtype)


def probe(design):
    return [int(b) for b in design.ports.y]


class TestWrite:
    @pytest.mark.parametrize("dtype,item_bits", INTEGER_AND_FLOAT)
    @pytest.mark.parametrize("width_delta", [-5, 0, 7])
    def test_elements_are_cut_or_extended_to_the_port_width(self, wire, dtype, item_bits,
                                                            width_delta):
        width = item_bits + width_delta
        elements = 3
        design = wire(width * elements, a=config(dtype, elements))
        values = sample_values(dtype, elements, np.random.default_rng(item_bits + width))
        design.ports.a = values

        bits = element_bits(values)
        if width <= item_bits:
            expected = bits[:, :width]
        else:
            fill = bits[:, -1:] if is_signed(dtype) else np.zeros_like(bits[:, -1:])
            expected = np.hstack([bits, np.repeat(fill, width - item_bits, axis=1)])
        assert probe(design) == expected.ravel().tolist()

    def test_booleans_drive_one_net_each_whatever_the_width(self, wire):
        design = wire(8, a=config(np.bool_, 2))  # width 4 per element
        design.ports.a = [True, True]
        # Element k drives net k only; nets 2 to 7 stay as they were.
        assert probe(design) == [1, 1, 0, 0, 0, 0, 0, 0]

    def test_default_config_drives_the_whole_port_from_one_element(self, wire):
        design = wire(8, a=None)
        assert design.ports.a.dtype == np.uint and design.ports.a.shape == (1,)
        design.ports.a = 5
        assert probe(design) == [1, 0, 1, 0, 0, 0, 0, 0]

    def test_elements_follow_each_other_from_the_first_net(self, wire):
        design = wire(16, a=config("uint8", 4))
        design.ports.a = np.array([1, 2, 3, 4], dtype=np.uint8)
        assert probe(design) == [1, 0, 0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 1, 0]

    @pytest.mark.parametrize("value,expected", [(-1, [1] * 12), (1, [1] + [0] * 11)])
    def test_signed_values_are_sign_extended(self, wire, value, expected):
        design = wire(12, a=config("int8", 1))
        design.ports.a = value
        assert probe(design) == expected

    def test_a_scalar_is_broadcast_to_every_element(self, wire):
        design = wire(8, a=config("uint8", 4))
        design.ports.a = 2
        assert design.ports.a.tolist() == [2, 2, 2, 2]
        assert probe(design) == [0, 1] * 4

    def test_writes_only_change_nets_and_evaluate_nothing(self):
        from designs import load

        design = load("inverter")
        design.ports.a = 1
        assert design.ports.y.tolist() == [0]
        design.eval()
        assert design.ports.y.tolist() == [0]  # y = ~a
        design.ports.a = 0
        assert design.ports.y.tolist() == [0]
        design.eval()
        assert design.ports.y.tolist() == [1]

    def test_a_net_list_shorter_than_the_port_drives_its_nets_only(self, build):
        ports = {"a": ("input", nets(2, 8)), "y": ("output", nets(2, 8))}
        netnames = {"a": {"bits": nets(2, 4)}, "y": {"bits": nets(2, 8)}}
        design = build(ports, {"y": config(np.bool_, 8)}, netnames=netnames)
        design.ports.a = 0xFF
        assert probe(design) == [1, 1, 1, 1, 0, 0, 0, 0]


class TestRead:
    @pytest.mark.parametrize("dtype,item_bits", INTEGER_AND_FLOAT)
    @pytest.mark.parametrize("width_delta", [-5, 0])
    def test_chunks_become_elements(self, wire, dtype, item_bits, width_delta):
        width = item_bits + width_delta
        elements = 3
        rng = np.random.default_rng(width)
        pattern = rng.integers(0, 2, size=width * elements).astype(bool)
        pattern[width - 1] = True  # a negative first element for the signed types
        design = wire(width * elements, a=config(np.bool_, width * elements),
                      y=config(dtype, elements))
        design.ports.a = pattern

        unsigned = np.dtype(f"u{item_bits // 8}")
        expected = []
        for k in range(elements):
            chunk = pattern[k * width:(k + 1) * width]
            value = sum(int(b) << i for i, b in enumerate(chunk))
            if is_signed(dtype) and chunk[-1]:
                value -= 1 << width
            expected.append(value % (1 << item_bits))
        got = design.ports.y.view(unsigned).tolist()
        assert got == expected

    @pytest.mark.parametrize("dtype,item_bits", INTEGER_AND_FLOAT)
    def test_wider_chunks_keep_their_low_item_bits(self, wire, dtype, item_bits):
        width = item_bits + 6
        pattern = np.zeros(width * 2, dtype=bool)
        pattern[[0, item_bits - 1, item_bits, width - 1, width + 1, width + item_bits + 2]] = True
        design = wire(width * 2, a=config(np.bool_, width * 2), y=config(dtype, 2))
        design.ports.a = pattern
        unsigned = np.dtype(f"u{item_bits // 8}")
        assert design.ports.y.view(unsigned).tolist() == [1 | 1 << (item_bits - 1), 1 << 1]

    @pytest.mark.parametrize("nets_bits,expected", [
        ([1, 1, 1, 1], -1),
        ([1, 1, 1, 0], 7),
        ([0, 0, 0, 1], -8),
    ])
    def test_signed_chunks_are_read_as_two_complement(self, wire, nets_bits, expected):
        design = wire(4, a=config(np.bool_, 4), y=config("int8", 1))
        design.ports.a = np.array(nets_bits, dtype=bool)
        assert design.ports.y.tolist() == [expected]

    def test_floats_read_the_bit_pattern_of_their_nets(self, wire):
        one = element_bits(np.array([1.0], dtype=np.float32)).ravel()
        design = wire(32, a=config(np.bool_, 32), y=config("<f4", 1))
        design.ports.a = one.astype(bool)
        assert design.ports.y.tolist() == [1.0]

    def test_booleans_read_one_net_each(self, wire):
        design = wire(8, a=config(np.bool_, 8), y=config(np.bool_, 4))  # width 2
        design.ports.a = np.array([0, 1, 1, 0, 0, 0, 0, 1], dtype=bool)
        assert design.ports.y.tolist() == [False, True, True, False]

    def test_a_short_net_list_leaves_later_elements_and_sign_extends_the_last_chunk(self, build):
        ports = {"a": ("input", nets(2, 12)), "y": ("output", nets(2, 12))}
        # y's netname covers 6 of its 12 bits: one full chunk of 4, one of 2, none for the third.
        netnames = {"a": {"bits": nets(2, 12)}, "y": {"bits": nets(2, 6)}}
        design = build(ports, {"y": config("int8", 3)}, netnames=netnames)
        design.ports.y[2] = 42
        design.ports.a = 0b10_0011
        assert design.ports.y.tolist() == [3, -2, 42]

    def test_reads_refresh_the_same_array_in_place(self, wire):
        design = wire(8, a=config("uint8", 1), y=config("uint8", 1))
        earlier = design.ports.y
        design.ports.a = 9
        assert design.ports.y is earlier
        assert earlier.tolist() == [9]

    def test_inputs_read_back_as_written_even_when_their_nets_are_stuck(self, wire):
        design = wire(8, a=config("uint8", 1), y=config("uint8", 1))
        design.ports.a = 3
        design.stick_signal(2, 0)
        assert design.ports.a.tolist() == [3]
        assert design.ports.y.tolist() == [2]


class TestWriteFailures:
    @pytest.mark.parametrize("name,message", [
        ("y", "Cannot set output port `y`"),
        ("nope", "Port `nope` doesn't exist"),
        ("__dict__", "Port `__dict__` doesn't exist"),
    ])
    def test_only_input_ports_can_be_assigned(self, wire, name, message):
        design = wire(4)
        with pytest.raises(AttributeError) as caught:
            setattr(design.ports, name, 1)
        assert str(caught.value) == message

    @pytest.mark.parametrize("name", ["a", "y", "nope"])
    def test_nothing_can_be_deleted(self, wire, name):
        design = wire(4)
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(design.ports, name)
        assert isinstance(design.ports.y, np.ndarray)

    @pytest.mark.parametrize("value,error", [
        (np.array([1, 2, 3], dtype=np.uint8), ValueError),  # no broadcast to four elements
        (1.5, TypeError),  # NumPy's same-kind casting rule
    ])
    def test_values_numpy_refuses_leave_the_nets_alone(self, wire, value, error):
        design = wire(16, a=config("uint8", 4), y=config("uint8", 4))
        design.ports.a = np.array([5, 6, 7, 8], dtype=np.uint8)
        before = design.toggle_count()
        with pytest.raises(error):
            design.ports.a = value
        assert design.ports.a.tolist() == [5, 6, 7, 8]
        assert design.ports.y.tolist() == [5, 6, 7, 8]
        assert design.toggle_count() == before

    @pytest.mark.parametrize("dtype,text", [
        ("float64", "<f8"), (">u2", ">u2"), ("U3", "<U3"), ("complex64", "<c8"), (object, "|O"),
    ])
    def test_unsupported_item_types_are_refused_after_the_copy(self, wire, dtype, text):
        design = wire(8, a=config(dtype, 1))
        with pytest.raises(ValueError) as caught:
            design.ports.a = 1
        assert str(caught.value) == f"Unsupported item type: {text}"
        assert design.ports.a[0] == np.array(1).astype(dtype)  # the array took the value
        assert probe(design) == [0] * 8  # the nets did not

    def test_unsupported_output_item_types_fail_every_read(self, wire):
        design = wire(8, y=config("float64", 1))
        for _ in range(2):
            with pytest.raises(ValueError, match=r"^Unsupported item type: <f8$"):
                design.ports.y

    def test_a_dtype_of_none_gives_numpy_default_and_so_an_unsupported_port(self, wire):
        port = vexolin.PortConfig(shape=(1, 1))
        port.dtype = None
        design = wire(8, a=port)
        assert design.ports.a.dtype == np.float64
        with pytest.raises(ValueError, match="<f8"):
            design.ports.a = 1


class TestReads:
    def test_a_missing_attribute_error_carries_just_the_name(self, wire):
        design = wire(4)
        with pytest.raises(AttributeError) as caught:
            design.ports.nope
        assert caught.value.args == ("nope",)

    def test_an_output_port_without_net_name_reads_as_a_missing_attribute(self, build):
        ports = {"y": ("output", [2, 3])}
        design = build(ports, netnames={"other": {"bits": [2, 3]}})
        with pytest.raises(AttributeError) as caught:
            design.ports.y
        assert caught.value.args == ("y",)

    def test_an_input_port_without_net_name_cannot_be_written(self, build):
        ports = {"a": ("input", [2, 3])}
        design = build(ports, netnames={"other": {"bits": [2, 3]}})
        with pytest.raises(AttributeError, match=r"^Port `a` doesn't exist$"):
            design.ports.a = 1

    def test_the_instance_dict_holds_one_array_per_port(self, wire):
        design = wire(4)
        assert sorted(vars(design.ports)) == ["a", "y"]
        assert all(isinstance(v, np.ndarray) and v.ndim == 1 for v in vars(design.ports).values())
        assert sorted(n for n in dir(design.ports) if not n.startswith("_")) == ["a", "y"]

    def test_ports_keep_their_design_alive(self, wire):
        design = wire(8, a=config("uint8", 1), y=config("uint8", 1))
        ports = design.ports
        alive = weakref.ref(design)
        del design
        gc.collect()
        assert alive() is not None
        ports.a = 4
        assert ports.y.tolist() == [4]

    def test_ports_cannot_be_created_from_python(self):
        with pytest.raises(TypeError):
            vexolin.Ports()


class TestZeroWidths:
    def test_a_shape_without_elements_is_refused(self, wire):
        with pytest.raises(ValueError, match=r"^Shapes without elements not supported: \[1, 0\]$"):
            wire(4, a=config("uint8", 0))

    @pytest.mark.parametrize("shape", [(1, 1), (1, 3)])
    def test_a_port_without_bits_builds_but_refuses_access(self, build, shape):
        ports = {"a": ("input", []), "y": ("output", [])}
        design = build(ports, {name: vexolin.PortConfig(shape=shape) for name in ports})
        assert len(design.ports.__dict__["y"]) == shape[1]
        with pytest.raises(ValueError, match=r"^Port `a` has no bits$"):
            design.ports.a = 0
        with pytest.raises(ValueError, match=r"^Port `y` has no bits$"):
            design.ports.y


class TestToggles:
    def test_writes_count_changes_only(self, wire):
        design = wire(4, a=config("uint8", 1))
        design.ports.a = 0b0101
        design.ports.a = 0b0101
        assert design.toggle_count("rising") == {"": {"a": 2, "y": 2}}
        assert design.toggle_count("falling") == {"": {"a": 0, "y": 0}}

    def test_writes_skip_stuck_nets(self, wire):
        design = wire(4, a=config("uint8", 1))
        design.stick_signal(3, 0)
        design.ports.a = 0b1111
        assert probe(design) == [1, 0, 1, 1]
        assert design.toggle_count("rising", by_net=False) == {"": 6}


class ReentrantArray(np.ndarray):
    """An array whose dtype lookup calls back into Python while a port access runs."""

    callback = None

    @property
    def dtype(self):
        type(self).callback()
        return np.ndarray.dtype.__get__(self)


def attempt(call):
    try:
        call()
    except RuntimeError as error:
        return str(error)
    return "ok"


class TestAccessFlag:
    @pytest.mark.parametrize("port", ["a", "y"])
    def test_port_accesses_hold_the_design_exclusively(self, wire, port):
        design = wire(8, a=config("uint8", 1), y=config("uint8", 1))
        seen = []
        ReentrantArray.callback = lambda: seen.extend(
            [attempt(design.eval), attempt(design.toggle_count), attempt(lambda: design.ports.y)])
        vars(design.ports)[port] = np.zeros(1, dtype=np.uint8).view(ReentrantArray)
        if port == "a":
            design.ports.a = 3
        else:
            design.ports.y
        assert seen == ["Already borrowed", "Already mutably borrowed", "Already borrowed"]
        assert attempt(design.eval) == "ok"

    def test_numpy_reads_the_value_before_the_design_is_taken(self, wire):
        design = wire(8, a=config("uint8", 1), y=config("uint8", 1))
        seen = []

        class Value:
            def __array__(self, dtype=None, copy=None):
                seen.append(attempt(design.eval))
                return np.array([6], dtype=np.uint8)

        design.ports.a = Value()
        assert seen == ["ok"]
        assert design.ports.y.tolist() == [6]
