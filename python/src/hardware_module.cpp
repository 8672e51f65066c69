// The extension module `vexolin` and its HardwareDesign class.
#include <unordered_map>

#include "binding.h"
#include "cell/factory.h"
#include "diagnostics.h"
#include "netlist_wrapper/graph.h"
#include "netlist_wrapper/netlist.h"

#if PY_VERSION_HEX < 0x030C0000
#include <structmember.h>
#define Py_T_PYSSIZET T_PYSSIZET
#define Py_READONLY READONLY
#endif

namespace vexolin::python {

PyTypeObject* design_type = nullptr;

namespace {

DesignObject* as_design(PyObject* self) {
  return reinterpret_cast<DesignObject*>(self);
}

// ---------------------------------------------------------------------------------------------
// Constructor arguments

std::string to_path(PyObject* value, const char* argument) {
  py::object path = py::reinterpret_steal<py::object>(PyOS_FSPath(value));
  if (!path) reraise_for_argument(argument);
  if (!PyUnicode_Check(path.ptr())) {
    throw_error(PyExc_TypeError, std::string("argument '") + argument +
                                     "': expected str or a path-like object of str, got " +
                                     type_name(path.ptr()));
  }
  py::object encoded = py::reinterpret_steal<py::object>(PyUnicode_EncodeFSDefault(path.ptr()));
  if (!encoded) throw_current();
  return {PyBytes_AS_STRING(encoded.ptr()), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded.ptr()))};
}

/// The `config` entries, each record held for reading until the constructor returns.
class ConfigTable {
 public:
  ConfigTable() = default;
  ConfigTable(const ConfigTable&) = delete;
  ConfigTable& operator=(const ConfigTable&) = delete;
  ~ConfigTable() {
    for (auto& entry : entries_) {
      --entry.second->readers;
      Py_DECREF(reinterpret_cast<PyObject*>(entry.second));
    }
  }

  void read(PyObject* config) {
    if (!PyDict_Check(config)) {
      throw_error(PyExc_TypeError,
                  "argument 'config': expected dict, got " + type_name(config));
    }
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(config, &position, &key, &value)) {
      if (!PyUnicode_Check(key)) {
        throw_error(PyExc_TypeError,
                    "argument 'config': expected str keys, got " + type_name(key));
      }
      if (!PyObject_TypeCheck(value, port_config_type)) {
        throw_error(PyExc_TypeError,
                    "argument 'config': expected PortConfig values, got " + type_name(value));
      }
      std::string name = to_str(key, "config");
      auto* record = reinterpret_cast<PortConfigObject*>(value);
      Py_INCREF(value);
      ++record->readers;
      auto [slot, inserted] = entries_.emplace(std::move(name), record);
      if (!inserted) {
        --slot->second->readers;
        Py_DECREF(reinterpret_cast<PyObject*>(slot->second));
        slot->second = record;
      }
    }
  }

  const PortConfigObject* find(const std::string& name) const {
    auto found = entries_.find(name);
    return found == entries_.end() ? nullptr : found->second;
  }

 private:
  std::unordered_map<std::string, PortConfigObject*> entries_;
};

std::optional<std::unordered_map<std::string, std::string>> to_pin_map(PyObject* value) {
  if (value == Py_None) return std::nullopt;
  if (!PyDict_Check(value)) {
    throw_error(PyExc_TypeError, "argument 'cell_mapping': expected None or dict of pins, got " +
                                     type_name(value));
  }
  std::unordered_map<std::string, std::string> pins;
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* item = nullptr;
  while (PyDict_Next(value, &position, &key, &item)) {
    pins[to_str(key, "cell_mapping")] = to_str(item, "cell_mapping");
  }
  return pins;
}

std::optional<CellMapping> to_cell_mapping(PyObject* value) {
  if (value == Py_None) return std::nullopt;
  if (!PyDict_Check(value)) {
    throw_error(PyExc_TypeError,
                "argument 'cell_mapping': expected None or dict, got " + type_name(value));
  }
  CellMapping mapping;
  Py_ssize_t position = 0;
  PyObject* key = nullptr;
  PyObject* item = nullptr;
  while (PyDict_Next(value, &position, &key, &item)) {
    std::string type = to_str(key, "cell_mapping");
    if (!PyTuple_Check(item)) {
      throw_error(PyExc_TypeError,
                  "argument 'cell_mapping': expected tuple values, got " + type_name(item));
    }
    if (PyTuple_GET_SIZE(item) != 2) {
      throw_error(PyExc_ValueError, "argument 'cell_mapping': expected a tuple of 2 items, got " +
                                        std::to_string(PyTuple_GET_SIZE(item)));
    }
    CellMapEntry entry;
    entry.type = to_str(PyTuple_GET_ITEM(item, 0), "cell_mapping");
    entry.pins = to_pin_map(PyTuple_GET_ITEM(item, 1));
    mapping[std::move(type)] = std::move(entry);
  }
  return mapping;
}

// ---------------------------------------------------------------------------------------------
// Construction

bool check_signals(void*) {
  // Runs Python's signal handlers between cycles; an exception they raise stops the run.
  return PyErr_CheckSignals() != 0;
}

py::list module_list(const Design& design) {
  py::list modules;
  for (const std::string& path : design.modules()) modules.append(py::str(path));
  return modules;
}

PyObject* design_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static const char* const keywords[] = {"netlist_path",        "torder_path",
                                               "config",              "hierarchy_separator",
                                               "top_module",          "cell_mapping",
                                               nullptr};
        PyObject* netlist_arg = nullptr;
        PyObject* torder_arg = nullptr;
        PyObject* config_arg = nullptr;
        PyObject* separator_arg = Py_None;
        PyObject* top_arg = Py_None;
        PyObject* mapping_arg = Py_None;
        if (!PyArg_ParseTupleAndKeywords(args, kwargs, "OOO|OOO:HardwareDesign",
                                         const_cast<char**>(keywords), &netlist_arg, &torder_arg,
                                         &config_arg, &separator_arg, &top_arg, &mapping_arg)) {
          throw_current();
        }
        const std::string netlist_path = to_path(netlist_arg, "netlist_path");
        const std::string torder_path = to_path(torder_arg, "torder_path");
        ConfigTable config;
        config.read(config_arg);
        const auto separator = to_optional_str(separator_arg, "hierarchy_separator");
        const auto top_module = to_optional_str(top_arg, "top_module");
        const auto cell_mapping = to_cell_mapping(mapping_arg);

        auto created = Design::create(netlist_path, torder_path, separator, top_module,
                                      cell_mapping ? &*cell_mapping : nullptr);
        if (!created) raise_core(created.error());

        PyObject* allocated = type->tp_alloc(type, 0);
        if (!allocated) throw_current();
        py::object self = py::reinterpret_steal<py::object>(allocated);
        DesignObject* object = as_design(allocated);
        object->design = new Design(std::move(created).value());
        object->design->set_interrupt_hook(check_signals, nullptr);
        object->dict = PyDict_New();
        if (!object->dict) throw_current();

        py::module_ numpy = py::module_::import("numpy");
        py::object ports = new_ports(self, numpy);
        try {
          for (const std::string& name : object->design->port_names()) {
            bind_port(*object->design, ports, name, config.find(name), numpy);
          }
        } catch (...) {
          // The ports object refers to the design; unlinking it lets both go right away.
          detach_ports(ports);
          throw;
        }
        py::dict dict = py::reinterpret_borrow<py::dict>(object->dict);
        dict["ports"] = ports;
        dict["modules"] = module_list(*object->design);
        return self.release().ptr();
      },
      nullptr);
}

int design_traverse(PyObject* self, visitproc visit, void* arg) {
  Py_VISIT(Py_TYPE(self));
  Py_VISIT(as_design(self)->dict);
  return 0;
}

int design_clear(PyObject* self) {
  Py_CLEAR(as_design(self)->dict);
  return 0;
}

void design_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  DesignObject* object = as_design(self);
  PyObject_GC_UnTrack(self);
  if (object->weakrefs) PyObject_ClearWeakRefs(self);
  design_clear(self);
  delete object->design;
  object->design = nullptr;
  type->tp_free(self);
  Py_DECREF(type);
}

// ---------------------------------------------------------------------------------------------
// Methods

using KeywordList = const char* const[];

void parse(PyObject* args, PyObject* kwargs, const char* format, const char* const* keywords,
           PyObject** first, PyObject** second = nullptr) {
  const int ok = second ? PyArg_ParseTupleAndKeywords(args, kwargs, format,
                                                      const_cast<char**>(keywords), first, second)
                        : PyArg_ParseTupleAndKeywords(args, kwargs, format,
                                                      const_cast<char**>(keywords), first);
  if (!ok) throw_current();
}

void check(const Status& status) {
  if (!status) raise_core(status.error());
}

std::optional<std::uint64_t> to_cycles(PyObject* value) {
  if (value == Py_None) return std::nullopt;
  return to_index(value, "cycles");
}

PyObject* design_reset(PyObject* self, PyObject*) {
  return guarded(
      [&]() -> PyObject* {
        ExclusiveAccess access(as_design(self)->access);
        as_design(self)->design->reset();
        Py_RETURN_NONE;
      },
      nullptr);
}

PyObject* design_eval(PyObject* self, PyObject*) {
  return guarded(
      [&]() -> PyObject* {
        ExclusiveAccess access(as_design(self)->access);
        auto settled = as_design(self)->design->settle();
        if (!settled) raise_core(settled.error());
        Py_RETURN_NONE;
      },
      nullptr);
}

PyObject* design_eval_clocked(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static KeywordList keywords = {"cycles", nullptr};
        PyObject* cycles = Py_None;
        parse(args, kwargs, "|O:eval_clocked", keywords, &cycles);
        ExclusiveAccess access(as_design(self)->access);
        check(as_design(self)->design->eval_clocked(to_cycles(cycles)));
        Py_RETURN_NONE;
      },
      nullptr);
}

PyObject* design_eval_reset_clocked(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static KeywordList keywords = {"cycles", nullptr};
        PyObject* cycles = Py_None;
        parse(args, kwargs, "|O:eval_reset_clocked", keywords, &cycles);
        ExclusiveAccess access(as_design(self)->access);
        check(as_design(self)->design->eval_reset_clocked(to_cycles(cycles)));
        Py_RETURN_NONE;
      },
      nullptr);
}

PyObject* design_stick_signal(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static KeywordList keywords = {"net", "val", nullptr};
        PyObject* net = nullptr;
        PyObject* val = nullptr;
        parse(args, kwargs, "OO:stick_signal", keywords, &net, &val);
        ExclusiveAccess access(as_design(self)->access);
        const std::uint64_t net_id = to_index(net, "net");
        const std::uint8_t value = to_small_int(val, "val");
        check(as_design(self)->design->stick_signal(net_id, value));
        Py_RETURN_NONE;
      },
      nullptr);
}

PyObject* design_unstick_signal(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static KeywordList keywords = {"net", nullptr};
        PyObject* net = nullptr;
        parse(args, kwargs, "O:unstick_signal", keywords, &net);
        ExclusiveAccess access(as_design(self)->access);
        check(as_design(self)->design->unstick_signal(to_index(net, "net")));
        Py_RETURN_NONE;
      },
      nullptr);
}

PyObject* design_is_port_input(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static KeywordList keywords = {"name", nullptr};
        PyObject* name = nullptr;
        parse(args, kwargs, "O:is_port_input", keywords, &name);
        SharedAccess access(as_design(self)->access);
        auto input = as_design(self)->design->is_port_input(to_str(name, "name"));
        if (!input) raise_core(input.error());
        return PyBool_FromLong(input.value());
      },
      nullptr);
}

PyObject* design_toggle_count(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded(
      [&]() -> PyObject* {
        static KeywordList keywords = {"category", "by_net", nullptr};
        PyObject* category_arg = nullptr;
        PyObject* by_net_arg = nullptr;
        parse(args, kwargs, "|OO:toggle_count", keywords, &category_arg, &by_net_arg);
        SharedAccess access(as_design(self)->access);
        const std::string category_text =
            category_arg ? to_str(category_arg, "category") : std::string("total");
        const bool by_net = by_net_arg ? to_flag(by_net_arg, "by_net") : true;
        auto category = parse_toggle_category(category_text);
        if (!category) raise_core(category.error());
        const Design& design = *as_design(self)->design;
        py::dict result;
        if (by_net) {
          for (const auto& [scope, signals] : design.toggles_by_signal(category.value())) {
            py::dict counts;
            for (const auto& [name, count] : signals) counts[py::str(name)] = py::int_(count);
            result[py::str(scope)] = counts;
          }
        } else {
          for (const auto& [scope, count] : design.toggles_by_scope(category.value())) {
            result[py::str(scope)] = py::int_(count);
          }
        }
        return result.release().ptr();
      },
      nullptr);
}

PyObject* design_netlist(PyObject* self, PyObject*) {
  return guarded(
      [&]() -> PyObject* {
        SharedAccess access(as_design(self)->access);
        const std::string text = write_netlist_json(as_design(self)->design->wrapper().netlist());
        py::module_ json = py::module_::import("json");
        return json.attr("loads")(py::str(text)).release().ptr();
      },
      nullptr);
}

py::dict node_attributes(const GraphNode& node) {
  py::dict attributes;
  attributes["rtlid"] = py::str(node.rtlid);
  if (node.cell_type) attributes["cell_type"] = py::str(*node.cell_type);
  if (node.src) attributes["src"] = py::str(*node.src);
  return attributes;
}

py::dict edge_attributes(const GraphEdge& edge) {
  py::dict attributes;
  attributes["net"] = py::int_(edge.net);
  if (edge.driver_pin) attributes["driver"] = py::str(*edge.driver_pin);
  if (edge.user_pin) attributes["user"] = py::str(*edge.user_pin);
  return attributes;
}

PyObject* design_netlist_graph(PyObject* self, PyObject*) {
  return guarded(
      [&]() -> PyObject* {
        SharedAccess access(as_design(self)->access);
        py::module_ networkx = py::module_::import("networkx");
        auto built = build_graph(as_design(self)->design->wrapper());
        if (!built) raise_core(built.error(), PyExc_AttributeError);
        const NetlistGraph& graph = built.value();
        py::object result = networkx.attr("DiGraph")();
        py::list nodes;
        for (std::size_t i = 0; i < graph.nodes.size(); ++i) {
          nodes.append(py::make_tuple(i, node_attributes(graph.nodes[i])));
        }
        result.attr("add_nodes_from")(nodes);
        py::list edges;
        for (const GraphEdge& edge : graph.edges) {
          edges.append(py::make_tuple(edge.driver, edge.user, edge_attributes(edge)));
        }
        result.attr("add_edges_from")(edges);
        return result.release().ptr();
      },
      nullptr);
}

template <class F>
PyCFunction keyword_method(F function) {
  return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef design_methods[] = {
    {"reset", design_reset, METH_NOARGS, "reset($self)\n--\n\n"},
    {"eval", design_eval, METH_NOARGS, "eval($self)\n--\n\n"},
    {"eval_clocked", keyword_method(design_eval_clocked), METH_VARARGS | METH_KEYWORDS,
     "eval_clocked($self, cycles=None)\n--\n\n"},
    {"eval_reset_clocked", keyword_method(design_eval_reset_clocked),
     METH_VARARGS | METH_KEYWORDS, "eval_reset_clocked($self, cycles=None)\n--\n\n"},
    {"stick_signal", keyword_method(design_stick_signal), METH_VARARGS | METH_KEYWORDS,
     "stick_signal($self, net, val)\n--\n\n"},
    {"unstick_signal", keyword_method(design_unstick_signal), METH_VARARGS | METH_KEYWORDS,
     "unstick_signal($self, net)\n--\n\n"},
    {"is_port_input", keyword_method(design_is_port_input), METH_VARARGS | METH_KEYWORDS,
     "is_port_input($self, name)\n--\n\n"},
    {"toggle_count", keyword_method(design_toggle_count), METH_VARARGS | METH_KEYWORDS,
     "toggle_count($self, category=\"total\", by_net=True)\n--\n\n"},
    {"netlist", design_netlist, METH_NOARGS, "netlist($self)\n--\n\n"},
    {"netlist_graph", design_netlist_graph, METH_NOARGS, "netlist_graph($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

PyMemberDef design_members[] = {
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(DesignObject, dict), Py_READONLY, nullptr},
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(DesignObject, weakrefs), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

PyGetSetDef design_getset[] = {
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const char design_doc[] =
    "HardwareDesign(netlist_path, torder_path, config, hierarchy_separator=None, "
    "top_module=None, cell_mapping=None)\n--\n\n";

// ---------------------------------------------------------------------------------------------
// Diagnostics

void write_to_python_stdout(std::string_view line, void*) noexcept {
  // Called from inside core operations, possibly while an exception is pending: keep it, and
  // let nothing escape.
  PendingError pending;
  PyObject* out = PySys_GetObject("stdout");
  if (out && out != Py_None) {
    std::string text(line);
    text.push_back('\n');
    PyObject* str =
        PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
    PyObject* written = str ? PyObject_CallMethod(out, "write", "O", str) : nullptr;
    if (!written) {
      // Nowhere to raise it: report it the way the interpreter reports errors in finalisers.
      PyErr_WriteUnraisable(out);
    }
    Py_XDECREF(written);
    Py_XDECREF(str);
  }
}

}  // namespace

void create_design_type() {
  static PyType_Slot slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(design_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(design_dealloc)},
      {Py_tp_traverse, reinterpret_cast<void*>(design_traverse)},
      {Py_tp_clear, reinterpret_cast<void*>(design_clear)},
      {Py_tp_methods, design_methods},
      {Py_tp_members, design_members},
      {Py_tp_getset, design_getset},
      {Py_tp_doc, const_cast<char*>(design_doc)},
      {0, nullptr},
  };
  static PyType_Spec type_spec = {"vexolin.HardwareDesign", sizeof(DesignObject), 0,
                             Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, slots};
  PyObject* type = PyType_FromSpec(&type_spec);
  if (!type) throw_current();
  design_type = reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace vexolin::python

namespace py = pybind11;
namespace vp = vexolin::python;

namespace {

void populate(py::module_ module) {
  vp::create_port_types();
  vp::create_design_type();
  py::list all;
  const std::pair<const char*, PyTypeObject*> classes[] = {
      {"PortConfig", vp::port_config_type},
      {"Ports", vp::ports_type},
      {"HardwareDesign", vp::design_type},
  };
  for (const auto& [name, type] : classes) {
    module.add_object(name, py::handle(reinterpret_cast<PyObject*>(type)));
    all.append(name);
  }
  module.attr("__all__") = all;
  vexolin::set_diagnostic_sink(vp::write_to_python_stdout, nullptr);
}

}  // namespace

// Written out rather than generated by PYBIND11_MODULE: the interpreter check has to come before
// pybind11 sets up its per-interpreter state, which would deadlock in a sub-interpreter.
extern "C" PYBIND11_EXPORT PyObject* PyInit_vexolin() {
  // The classes and the diagnostic sink are process-wide; a second interpreter would share them.
  if (PyInterpreterState_Get() != PyInterpreterState_Main()) {
    PyErr_SetString(PyExc_ImportError, "vexolin cannot be loaded in a sub-interpreter");
    return nullptr;
  }
  static PyObject* created = nullptr;
  if (created) {
    Py_INCREF(created);
    return created;
  }
  // A size of 0, not -1: the interpreter then calls this function again on every fresh import
  // rather than copying a cached module dict, so the check above always runs.
  static PyModuleDef definition = {PyModuleDef_HEAD_INIT, "vexolin", nullptr, 0, nullptr,
                                   nullptr,               nullptr,   nullptr, nullptr};
  PyObject* module = PyModule_Create(&definition);
  if (!module) return nullptr;
  const bool ok = vp::guarded(
      [&] {
        populate(py::reinterpret_borrow<py::module_>(module));
        return true;
      },
      false);
  if (!ok) {
    Py_DECREF(module);
    return nullptr;
  }
  created = module;
  Py_INCREF(created);  // held for the life of the process
  return module;
}
