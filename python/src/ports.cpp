// PortConfig, the Ports class and the conversion between NumPy arrays and port nets.
#include <cstring>
#include <vector>

#include "binding.h"

#if PY_VERSION_HEX < 0x030C0000
#include <structmember.h>
#define Py_T_PYSSIZET T_PYSSIZET
#define Py_READONLY READONLY
#endif

namespace vexolin::python {

PyTypeObject* port_config_type = nullptr;
PyTypeObject* ports_type = nullptr;

namespace {

// ---------------------------------------------------------------------------------------------
// PortConfig

PortConfigObject* as_config(PyObject* self) {
  return reinterpret_cast<PortConfigObject*>(self);
}

py::object numpy_uint() {
  return py::module_::import("numpy").attr("uint");
}

std::optional<std::uint8_t> to_polarity(PyObject* value) {
  if (value == Py_None) return std::nullopt;
  return to_small_int(value, "polarity");
}

PyObject* config_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static const char* const keywords[] = {"shape", "dtype", "clock", "reset", "polarity",
                                               nullptr};
        PyObject* shape = nullptr;
        PyObject* dtype = Py_None;
        PyObject* clock = nullptr;
        PyObject* reset = nullptr;
        PyObject* polarity = Py_None;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "|OOOOO:PortConfig",
                                         const_cast<char**>(keywords), &shape, &dtype, &clock,
                                         &reset, &polarity)) {
          throw_current();
        }
        const auto shape_value = shape ? to_shape(shape, "shape")
                                        : std::pair<std::uint64_t, std::uint64_t>{1, 1};
        py::object dtype_value =
            dtype == Py_None ? numpy_uint() : py::reinterpret_borrow<py::object>(dtype);
        const bool clock_value = clock ? to_flag(clock, "clock") : false;
        const bool reset_value = reset ? to_flag(reset, "reset") : false;
        const std::optional<std::uint8_t> polarity_value = to_polarity(polarity);

        PyObject* self = type->tp_alloc(type, 0);
        if (!self) throw_current();
        PortConfigObject* config = as_config(self);
        config->shape_first = shape_value.first;
        config->shape_second = shape_value.second;
        config->dtype = dtype_value.release().ptr();
        config->clock = clock_value;
        config->reset = reset_value;
        config->has_polarity = polarity_value.has_value();
        config->polarity = polarity_value.value_or(0);
        return self;
      },
      nullptr);
}

int config_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(as_config(self)->dtype);
  return 0;
}

int config_clear(PyObject* self) {
  Py_CLEAR(as_config(self)->dtype);
  return 0;
}

void config_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  config_clear(self);
  type->tp_free(self);
  Py_DECREF(type);
}

// Every setter first converts, then checks that no design constructor is reading the record,
// so that a failed write leaves the field as it was.
int setter(PyObject* self, PyObject* value, void (*store)(PortConfigObject*, PyObject*)) {
  return guarded(
      [&]() -> int {
        if (!value) throw_error(PyExc_AttributeError, "can't delete attribute");
        store(as_config(self), value);
        return 0;
      },
      -1);
}

void check_writable(const PortConfigObject* config) {
  if (config->readers > 0) throw_error(PyExc_RuntimeError, "Already borrowed");
}

PyObject* get_shape(PyObject* self, void*) {
  const PortConfigObject* config = as_config(self);
  return Py_BuildValue("(KK)", static_cast<unsigned long long>(config->shape_first),
                       static_cast<unsigned long long>(config->shape_second));
}

int set_shape(PyObject* self, PyObject* value, void*) {
  return setter(self, value, [](PortConfigObject* config, PyObject* v) {
    const auto shape = to_shape(v, "shape");
    check_writable(config);
    config->shape_first = shape.first;
    config->shape_second = shape.second;
  });
}

PyObject* get_dtype(PyObject* self, void*) {
  PyObject* dtype = as_config(self)->dtype;
  if (!dtype) dtype = Py_None;
  Py_INCREF(dtype);
  return dtype;
}

int set_dtype(PyObject* self, PyObject* value, void*) {
  return setter(self, value, [](PortConfigObject* config, PyObject* v) {
    check_writable(config);
    Py_INCREF(v);
    // The old object goes last: its finaliser may run code that reads this record.
    PyObject* old = config->dtype;
    config->dtype = v;
    Py_XDECREF(old);
  });
}

PyObject* get_clock(PyObject* self, void*) {
  return PyBool_FromLong(as_config(self)->clock);
}

int set_clock(PyObject* self, PyObject* value, void*) {
  return setter(self, value, [](PortConfigObject* config, PyObject* v) {
    const bool flag = to_flag(v, "clock");
    check_writable(config);
    config->clock = flag;
  });
}

PyObject* get_reset(PyObject* self, void*) {
  return PyBool_FromLong(as_config(self)->reset);
}

int set_reset(PyObject* self, PyObject* value, void*) {
  return setter(self, value, [](PortConfigObject* config, PyObject* v) {
    const bool flag = to_flag(v, "reset");
    check_writable(config);
    config->reset = flag;
  });
}

PyObject* get_polarity(PyObject* self, void*) {
  const PortConfigObject* config = as_config(self);
  if (!config->has_polarity) Py_RETURN_NONE;
  return PyLong_FromLong(config->polarity);
}

int set_polarity(PyObject* self, PyObject* value, void*) {
  return setter(self, value, [](PortConfigObject* config, PyObject* v) {
    const std::optional<std::uint8_t> polarity = to_polarity(v);
    check_writable(config);
    config->has_polarity = polarity.has_value();
    config->polarity = polarity.value_or(0);
  });
}

PyGetSetDef config_getset[] = {
    {"shape", get_shape, set_shape, nullptr, nullptr},
    {"dtype", get_dtype, set_dtype, nullptr, nullptr},
    {"clock", get_clock, set_clock, nullptr, nullptr},
    {"reset", get_reset, set_reset, nullptr, nullptr},
    {"polarity", get_polarity, set_polarity, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const char config_doc[] =
    "PortConfig(shape=..., dtype=None, clock=False, reset=False, polarity=None)\n--\n\n";

// ---------------------------------------------------------------------------------------------
// NumPy item types and the conversion rules

enum class ItemKind : std::uint8_t { Bool, Unsigned, Signed };

struct ItemType {
  ItemKind kind;
  unsigned bits;
  const char* view;  // the unsigned type a float array is viewed as, or null
};

std::optional<ItemType> item_type(std::string_view text) {
  struct Entry {
    std::string_view text;
    ItemType type;
  };
  static constexpr Entry table[] = {
      {"|b1", {ItemKind::Bool, 8, nullptr}},      {"|u1", {ItemKind::Unsigned, 8, nullptr}},
      {"<u2", {ItemKind::Unsigned, 16, nullptr}}, {"<u4", {ItemKind::Unsigned, 32, nullptr}},
      {"<u8", {ItemKind::Unsigned, 64, nullptr}}, {"|i1", {ItemKind::Signed, 8, nullptr}},
      {"<i2", {ItemKind::Signed, 16, nullptr}},   {"<i4", {ItemKind::Signed, 32, nullptr}},
      {"<i8", {ItemKind::Signed, 64, nullptr}},   {"<f2", {ItemKind::Unsigned, 16, "uint16"}},
      {"<f4", {ItemKind::Unsigned, 32, "uint32"}},
  };
  for (const Entry& entry : table) {
    if (entry.text == text) return entry.type;
  }
  return std::nullopt;
}

std::string dtype_text(py::handle array) {
  return py::str(array.attr("dtype").attr("str"));
}

ItemType checked_item_type(const std::string& text) {
  const std::optional<ItemType> type = item_type(text);
  if (!type) throw_error(PyExc_ValueError, "Unsupported item type: " + text);
  return *type;
}

std::uint64_t low_mask(unsigned bits) {
  return bits >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << bits) - 1;
}

/// A buffer over an array's elements, in C order whatever its strides.
class ElementBuffer {
 public:
  ElementBuffer(py::handle array, bool writable) {
    const int flags = PyBUF_STRIDES | (writable ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(array.ptr(), &view_, flags) != 0) throw_current();
    count_ = 1;
    for (int d = 0; d < view_.ndim; ++d) count_ *= static_cast<std::size_t>(view_.shape[d]);
  }
  ~ElementBuffer() { PyBuffer_Release(&view_); }
  ElementBuffer(const ElementBuffer&) = delete;
  ElementBuffer& operator=(const ElementBuffer&) = delete;

  std::size_t count() const { return count_; }
  std::size_t item_size() const { return static_cast<std::size_t>(view_.itemsize); }

  /// Calls f(index, pointer to the element) for every element in array order.
  template <class F>
  void for_each(std::size_t limit, F&& f) const {
    const int ndim = view_.ndim;
    std::vector<Py_ssize_t> index(static_cast<std::size_t>(ndim), 0);
    char* base = static_cast<char*>(view_.buf);
    const std::size_t n = std::min(limit, count_);
    for (std::size_t k = 0; k < n; ++k) {
      Py_ssize_t offset = 0;
      for (int d = 0; d < ndim; ++d) offset += index[d] * view_.strides[d];
      f(k, base + offset);
      for (int d = ndim - 1; d >= 0; --d) {
        if (++index[d] < view_.shape[d]) break;
        index[d] = 0;
      }
    }
  }

 private:
  Py_buffer view_{};
  std::size_t count_ = 0;
};

/// The array NumPy hands the element bits through: floats are viewed as unsigned integers.
py::object element_view(py::handle array, const ItemType& type) {
  if (type.view) return array.attr("view")(type.view);
  return py::reinterpret_borrow<py::object>(array);
}

void check_item_size(const ElementBuffer& buffer, const ItemType& type) {
  if (buffer.item_size() != type.bits / 8) {
    throw_error(PyExc_ValueError, "Array items are " + std::to_string(buffer.item_size()) +
                                      " bytes wide, expected " + std::to_string(type.bits / 8));
  }
}

std::uint64_t load(const char* element, unsigned bits) {
  std::uint64_t value = 0;
  std::memcpy(&value, element, bits / 8);  // little-endian host, like the dtypes accepted
  return value;
}

void store_value(char* element, std::uint64_t value, unsigned bits) {
  std::memcpy(element, &value, bits / 8);
}

/// Array to bits: one bit per boolean, else `width` bits per element, extended as its type is.
BitVec array_to_bits(py::handle array, const ItemType& type, std::uint64_t width) {
  py::object source = element_view(array, type);
  ElementBuffer buffer(source, false);
  check_item_size(buffer, type);
  BitVec bits;
  if (type.kind == ItemKind::Bool) {
    bits.reserve(buffer.count());
    buffer.for_each(buffer.count(), [&](std::size_t, const char* element) {
      bits.push_back(*element != 0 ? 1 : 0);
    });
    return bits;
  }
  bits.reserve(buffer.count() * width);
  const unsigned b = type.bits;
  buffer.for_each(buffer.count(), [&](std::size_t, const char* element) {
    const std::uint64_t value = load(element, b);
    const Bit extension =
        type.kind == ItemKind::Signed ? static_cast<Bit>((value >> (b - 1)) & 1) : Bit{0};
    for (std::uint64_t i = 0; i < width; ++i) {
      bits.push_back(i < b ? static_cast<Bit>((value >> i) & 1) : extension);
    }
  });
  return bits;
}

/// Bits to array, in place. Chunks wider than the item keep their low item-width bits, which
/// for signed items is the two's-complement value wrapped to the item's width.
void bits_to_array(py::handle array, const ItemType& type, const BitVec& bits,
                   std::uint64_t width) {
  py::object target = element_view(array, type);
  ElementBuffer buffer(target, true);
  check_item_size(buffer, type);
  if (type.kind == ItemKind::Bool) {
    buffer.for_each(bits.size(), [&](std::size_t k, char* element) {
      *reinterpret_cast<unsigned char*>(element) = bits[k] ? 1 : 0;
    });
    return;
  }
  const std::size_t chunks = static_cast<std::size_t>((bits.size() + width - 1) / width);
  const unsigned b = type.bits;
  buffer.for_each(chunks, [&](std::size_t k, char* element) {
    const std::size_t begin = k * width;
    const std::size_t length = std::min<std::size_t>(width, bits.size() - begin);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < length && i < b; ++i) {
      value |= static_cast<std::uint64_t>(bits[begin + i] & 1) << i;
    }
    if (type.kind == ItemKind::Signed && length < b && bits[begin + length - 1]) {
      value |= ~low_mask(static_cast<unsigned>(length));
    }
    store_value(element, value & low_mask(b), b);
  });
}

void check_width(std::uint64_t width, const std::string& name) {
  // A port without nets has width 0, and no chunking of its bits makes sense.
  if (width == 0) throw_error(PyExc_ValueError, "Port `" + name + "` has no bits");
}

// ---------------------------------------------------------------------------------------------
// Ports

PortsObject* as_ports(PyObject* self) {
  return reinterpret_cast<PortsObject*>(self);
}

DesignObject* design_of(PyObject* self) {
  // Only a ports object torn down by the garbage collector (or a failed construction) lacks
  // its design; a finaliser could still reach it.
  PyObject* design = as_ports(self)->design;
  if (!design) throw_error(PyExc_RuntimeError, "Ports object has no design");
  return reinterpret_cast<DesignObject*>(design);
}

std::optional<std::string> name_text(PyObject* name) {
  if (!PyUnicode_Check(name)) return std::nullopt;
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(name, &size);
  if (!data) {
    PyErr_Clear();  // a name that is no UTF-8 names no port
    return std::nullopt;
  }
  return std::string(data, static_cast<std::size_t>(size));
}

bool error_is_attribute_error() {
  return PyErr_ExceptionMatches(PyExc_AttributeError) != 0;
}

[[noreturn]] void raise_name_only(PyObject* name) {
  PyErr_SetObject(PyExc_AttributeError, name);
  throw_current();
}

void refresh_output(PyObject* self, py::handle array, const std::string& name) {
  DesignObject* owner = design_of(self);
  ExclusiveAccess access(owner->access);
  const std::string dtype = dtype_text(array);
  auto values = owner->design->port_values(name);
  if (!values) throw_error(PyExc_AttributeError, values.error().display());
  const ItemType type = checked_item_type(dtype);
  const auto& [bits, shape] = values.value();
  check_width(shape.second, name);
  bits_to_array(array, type, bits, shape.second);
}

PyObject* ports_getattro(PyObject* self, PyObject* name) {
  return guarded(
      [&]() -> PyObject* {
        PyObject* found = PyObject_GenericGetAttr(self, name);
        if (!found) {
          if (error_is_attribute_error()) raise_name_only(name);
          throw_current();
        }
        py::object result = py::reinterpret_steal<py::object>(found);
        const std::optional<std::string> text = name_text(name);
        if (text && as_ports(self)->names && as_ports(self)->names->outputs.count(*text)) {
          try {
            refresh_output(self, result, *text);
          } catch (py::error_already_set& e) {
            if (e.matches(PyExc_AttributeError)) raise_name_only(name);
            throw;
          }
        }
        return result.release().ptr();
      },
      nullptr);
}

void write_input(PyObject* self, const std::string& name, PyObject* value) {
  PortsObject* ports = as_ports(self);
  PyObject* array = ports->dict ? PyDict_GetItemWithError(ports->dict, py::str(name).ptr())
                                : nullptr;
  if (!array) {
    if (PyErr_Occurred()) throw_current();
    throw_error(PyExc_AttributeError, "Port `" + name + "` doesn't exist");
  }
  py::object target = py::reinterpret_borrow<py::object>(array);
  py::reinterpret_borrow<py::object>(ports->copyto)(target, py::handle(value));

  DesignObject* owner = design_of(self);
  ExclusiveAccess access(owner->access);
  const ItemType type = checked_item_type(dtype_text(target));
  Design& design = *owner->design;
  if (!design.port_nets(name)) throw_error(PyExc_AttributeError, "Port `" + name + "` doesn't exist");
  auto shape = design.port_shape(name);
  if (!shape) throw_error(PyExc_AttributeError, shape.error().display());
  check_width(shape->second, name);
  const BitVec bits = array_to_bits(target, type, shape->second);
  const Status driven = design.drive_port(name, bits);
  if (!driven) throw_error(PyExc_AttributeError, driven.error().display());
}

int ports_setattro(PyObject* self, PyObject* name, PyObject* value) {
  return guarded(
      [&]() -> int {
        if (!value) throw_error(PyExc_AttributeError, "can't delete attribute");
        const std::optional<std::string> text = name_text(name);
        const PortNames* names = as_ports(self)->names;
        const std::string shown = text ? *text : std::string(py::str(name));
        if (text && names && names->outputs.count(*text)) {
          throw_error(PyExc_AttributeError, "Cannot set output port `" + shown + "`");
        }
        if (!text || !names || !names->inputs.count(*text)) {
          throw_error(PyExc_AttributeError, "Port `" + shown + "` doesn't exist");
        }
        write_input(self, *text, value);
        return 0;
      },
      -1);
}

int ports_traverse(PyObject* self, visitproc visit, void* arg) {
  PortsObject* ports = as_ports(self);
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(ports->dict);
  Py_VISIT(ports->design);
  Py_VISIT(ports->copyto);
  return 0;
}

int ports_clear(PyObject* self) {
  PortsObject* ports = as_ports(self);
  Py_CLEAR(ports->dict);
  Py_CLEAR(ports->design);
  Py_CLEAR(ports->copyto);
  return 0;
}

void ports_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  PyObject_GC_UnTrack(self);
  ports_clear(self);
  delete as_ports(self)->names;
  type->tp_free(self);
  Py_DECREF(type);
}

PyMemberDef ports_members[] = {
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(PortsObject, dict), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef ports_getset[] = {
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyTypeObject* make_type(PyType_Spec& type_spec) {
  PyObject* type = PyType_FromSpec(&type_spec);
  if (!type) throw_current();
  return reinterpret_cast<PyTypeObject*>(type);
}

// ---------------------------------------------------------------------------------------------
// Clock and reset binding

void bind_clock_reset(Design& design, const std::string& name, const PortConfigObject& config) {
  if (!config.clock && !config.reset) return;
  if (!config.has_polarity) throw_error(PyExc_ValueError, "No polarity given");
  const auto bit = bit_from_int(config.polarity);
  if (const BitError* error = std::get_if<BitError>(&bit)) {
    throw_error(PyExc_RuntimeError, error->display());
  }
  const Bit polarity = std::get<Bit>(bit);
  const std::vector<NetId>* nets = design.port_nets(name);
  if (!nets) throw_error(PyExc_AttributeError, "No net `" + name + "`");
  if (nets->size() != 1) throw_error(PyExc_AttributeError, ">1 clock or reset bits");
  const NetId net = nets->front();
  if (config.reset) {
    const Status bound = design.set_reset(net, polarity);
    if (!bound) raise_core(bound.error());
  }
  if (config.clock) {
    const Status bound = design.set_clock(net, polarity);
    if (!bound) raise_core(bound.error());
  }
}

std::string pair_text(std::uint64_t first, std::uint64_t second) {
  return "[" + std::to_string(first) + ", " + std::to_string(second) + "]";
}

}  // namespace

void create_port_types() {
  static PyType_Slot config_slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(config_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(config_dealloc)},
      {Py_tp_traverse, reinterpret_cast<void*>(config_traverse)},
      {Py_tp_clear, reinterpret_cast<void*>(config_clear)},
      {Py_tp_getset, config_getset},
      {Py_tp_doc, const_cast<char*>(config_doc)},
      {0, nullptr},
  };
  static PyType_Spec config_spec = {
      "vexolin.PortConfig", sizeof(PortConfigObject), 0,
      Py_TPFLAGS_DEFAULT | Py_TPFLAGS_BASETYPE | Py_TPFLAGS_HAVE_GC, config_slots};
  port_config_type = make_type(config_spec);

  static PyType_Slot ports_slots[] = {
      {Py_tp_dealloc, reinterpret_cast<void*>(ports_dealloc)},
      {Py_tp_traverse, reinterpret_cast<void*>(ports_traverse)},
      {Py_tp_clear, reinterpret_cast<void*>(ports_clear)},
      {Py_tp_getattro, reinterpret_cast<void*>(ports_getattro)},
      {Py_tp_setattro, reinterpret_cast<void*>(ports_setattro)},
      {Py_tp_members, ports_members},
      {Py_tp_getset, ports_getset},
      {0, nullptr},
  };
  unsigned int ports_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC;
#ifdef Py_TPFLAGS_DISALLOW_INSTANTIATION
  ports_flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
#endif
  static PyType_Spec ports_spec = {"vexolin.Ports", sizeof(PortsObject), 0, ports_flags,
                                   ports_slots};
  ports_type = make_type(ports_spec);
  // Without the flag (before 3.10), a type without its own constructor is refused this way.
  ports_type->tp_new = nullptr;
}

py::object new_ports(py::handle design, py::handle numpy) {
  PyObject* self = ports_type->tp_alloc(ports_type, 0);
  if (!self) throw_current();
  py::object ports = py::reinterpret_steal<py::object>(self);
  PortsObject* object = as_ports(self);
  object->names = new PortNames();
  object->dict = PyDict_New();
  if (!object->dict) throw_current();
  object->design = py::reinterpret_borrow<py::object>(design).release().ptr();
  object->copyto = py::object(numpy.attr("copyto")).release().ptr();
  return ports;
}

void detach_ports(py::handle ports) {
  ports_clear(ports.ptr());
}

void bind_port(Design& design, py::handle ports, const std::string& name,
               const PortConfigObject* config, py::handle numpy) {
  auto direction = design.port_direction(name);
  if (!direction) raise_core(direction.error());
  py::object array;
  if (config) {
    bind_clock_reset(design, name, *config);
    if (config->shape_first != 1) {
      throw_error(PyExc_ValueError, "Only 1D shapes supported: " +
                                        pair_text(config->shape_first, config->shape_second));
    }
    const std::uint64_t elements = config->shape_second;
    if (elements == 0) {
      throw_error(PyExc_ValueError, "Shapes without elements not supported: " +
                                        pair_text(config->shape_first, config->shape_second));
    }
    auto current = design.port_shape(name);
    if (!current) raise_core(current.error());
    const std::uint64_t bit_count = current->first * current->second;
    const Status reshaped = design.set_port_shape(name, {elements, bit_count / elements});
    if (!reshaped) raise_core(reshaped.error());
    py::object dtype = py::reinterpret_borrow<py::object>(config->dtype ? config->dtype : Py_None);
    array = numpy.attr("zeros")(elements, py::arg("dtype") = dtype);
  } else {
    array = numpy.attr("zeros")(1, py::arg("dtype") = numpy.attr("uint"));
  }
  PortsObject* object = as_ports(ports.ptr());
  if (PyDict_SetItem(object->dict, py::str(name).ptr(), array.ptr()) != 0) throw_current();
  if (direction.value() == PortDirection::Input) {
    object->names->inputs.insert(name);
  } else {
    object->names->outputs.insert(name);
  }
}

}  // namespace vexolin::python
