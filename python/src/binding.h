// Pieces shared by the extension's source files: the object layouts of the three classes, the
// access flag, argument conversion and the mapping of core errors to Python exceptions.
//
// The classes are written against the CPython type interface directly: their methods must be
// real method descriptors (so that `inspect.signature` reads the text signatures from their
// docstrings), and their attribute hooks, access rules and messages are exact. pybind11 serves
// for the module, object handles and error propagation.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "design.h"
#include "sim_error.h"

namespace vexolin::python {

namespace py = pybind11;

/// One exclusive user or any number of shared users; a request that cannot be granted fails at
/// once, since everything runs on the interpreter's one thread and waiting would never end.
class AccessFlag {
 public:
  bool try_shared() {
    if (state_ < 0) return false;
    ++state_;
    return true;
  }
  bool try_exclusive() {
    if (state_ != 0) return false;
    state_ = -1;
    return true;
  }
  void release_shared() { --state_; }
  void release_exclusive() { state_ = 0; }
  bool shared() const { return state_ > 0; }

 private:
  long state_ = 0;
};

/// Raises the current Python error as a C++ exception, for the pybind11 error path.
[[noreturn]] inline void throw_current() { throw py::error_already_set(); }

/// Sets `type` with `message` and unwinds to the entry point.
[[noreturn]] void throw_error(PyObject* type, const std::string& message);

/// Shared access for the lifetime of the guard, or RuntimeError "Already mutably borrowed".
class SharedAccess {
 public:
  explicit SharedAccess(AccessFlag& flag);
  ~SharedAccess() { flag_.release_shared(); }
  SharedAccess(const SharedAccess&) = delete;
  SharedAccess& operator=(const SharedAccess&) = delete;

 private:
  AccessFlag& flag_;
};

/// Exclusive access for the lifetime of the guard, or RuntimeError "Already borrowed".
class ExclusiveAccess {
 public:
  explicit ExclusiveAccess(AccessFlag& flag);
  ~ExclusiveAccess() { flag_.release_exclusive(); }
  ExclusiveAccess(const ExclusiveAccess&) = delete;
  ExclusiveAccess& operator=(const ExclusiveAccess&) = delete;

 private:
  AccessFlag& flag_;
};

// Object layouts. Allocation zero-fills them, so every pointer starts null.

struct PortConfigObject {
  PyObject_HEAD
  std::uint64_t shape_first;
  std::uint64_t shape_second;
  PyObject* dtype;
  bool clock;
  bool reset;
  bool has_polarity;
  std::uint8_t polarity;
  // Design constructors reading this record right now; writes are refused meanwhile.
  Py_ssize_t readers;
};

struct DesignObject {
  PyObject_HEAD
  Design* design;
  PyObject* dict;
  PyObject* weakrefs;
  AccessFlag access;
};

struct PortNames {
  std::unordered_set<std::string> inputs;
  std::unordered_set<std::string> outputs;
};

struct PortsObject {
  PyObject_HEAD
  PyObject* dict;
  PyObject* design;  // strong: a design lives as long as its ports object is reachable
  PyObject* copyto;  // numpy.copyto, looked up once when the design is built
  PortNames* names;
};

/// The three classes, created when the module is initialised.
extern PyTypeObject* port_config_type;
extern PyTypeObject* ports_type;
extern PyTypeObject* design_type;

/// Creates the PortConfig and Ports classes.
void create_port_types();
/// Creates the HardwareDesign class.
void create_design_type();

/// A new, empty Ports object bound to `design`, with numpy's copyto at hand.
py::object new_ports(py::handle design, py::handle numpy);
/// Unlinks a ports object from its design, so that a failed construction leaves no cycle.
void detach_ports(py::handle ports);
/// Binds one top-level port: clock and reset from its configuration, shape and zero array.
void bind_port(Design& design, py::handle ports, const std::string& name,
               const PortConfigObject* config, py::handle numpy);

// Argument conversion. Every failure names the argument: "argument '{name}': ...".

/// Keeps the pending Python error aside for its lifetime and puts it back at the end, so that
/// code which must not disturb it (the diagnostic sink) can still call into Python.
class PendingError {
 public:
  PendingError();
  ~PendingError();
  PendingError(const PendingError&) = delete;
  PendingError& operator=(const PendingError&) = delete;

 private:
  PyObject* error_;
};

/// Re-raises the pending Python error, same type, its message prefixed with the argument name.
[[noreturn]] void reraise_for_argument(const char* argument);
/// A non-negative integer that fits 64 bits (anything with __index__, bool included).
std::uint64_t to_index(PyObject* value, const char* argument);
/// An integer from 0 to 255.
std::uint8_t to_small_int(PyObject* value, const char* argument);
/// A Python bool or a NumPy boolean scalar; integers are refused.
bool to_flag(PyObject* value, const char* argument);
/// A str, as UTF-8.
std::string to_str(PyObject* value, const char* argument);
/// None, or a str.
std::optional<std::string> to_optional_str(PyObject* value, const char* argument);
/// A shape: a tuple of exactly two indexes.
std::pair<std::uint64_t, std::uint64_t> to_shape(PyObject* value, const char* argument);
/// The name of an object's type, for messages.
std::string type_name(PyObject* value);

/// Raises a core error: its own text, as `fallback` unless the kind has its own exception.
[[noreturn]] void raise_core(const SimError& error, PyObject* fallback = PyExc_RuntimeError);

/// Runs an entry point's body, turning every C++ exception into the pending Python error.
template <class F>
auto guarded(F&& body, decltype(body()) failure) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (const py::builtin_exception& e) {
    e.set_error();
  } catch (const std::bad_alloc&) {
    PyErr_NoMemory();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_RuntimeError, e.what());
  }
  return failure;
}

}  // namespace vexolin::python
