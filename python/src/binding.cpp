#include "binding.h"

namespace vexolin::python {

void throw_error(PyObject* type, const std::string& message) {
  PyErr_SetString(type, message.c_str());
  throw_current();
}

SharedAccess::SharedAccess(AccessFlag& flag) : flag_(flag) {
  if (!flag_.try_shared()) throw_error(PyExc_RuntimeError, "Already mutably borrowed");
}

ExclusiveAccess::ExclusiveAccess(AccessFlag& flag) : flag_(flag) {
  if (!flag_.try_exclusive()) throw_error(PyExc_RuntimeError, "Already borrowed");
}

std::string type_name(PyObject* value) {
  return Py_TYPE(value)->tp_name;
}

namespace {

// The pending exception, normalised, with its traceback attached; the indicator is cleared.
PyObject* take_pending_error() {
#if PY_VERSION_HEX >= 0x030C0000
  return PyErr_GetRaisedException();
#else
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value && traceback) PyException_SetTraceback(value, traceback);
  Py_XDECREF(type);
  Py_XDECREF(traceback);
  return value;
#endif
}

void restore_pending_error(PyObject* error) {
#if PY_VERSION_HEX >= 0x030C0000
  PyErr_SetRaisedException(error);
#else
  if (!error) return;
  PyObject* type = reinterpret_cast<PyObject*>(Py_TYPE(error));
  Py_INCREF(type);
  PyErr_Restore(type, error, PyException_GetTraceback(error));
#endif
}

}  // namespace

PendingError::PendingError() : error_(take_pending_error()) {}

PendingError::~PendingError() {
  restore_pending_error(error_);
}

void reraise_for_argument(const char* argument) {
  PyObject* error = take_pending_error();
  PyObject* type = error ? reinterpret_cast<PyObject*>(Py_TYPE(error)) : nullptr;
  // Only the plain conversion errors are rewritten; others (Unicode errors take five
  // constructor arguments, for one) pass as they are.
  const bool plain = type == PyExc_TypeError || type == PyExc_OverflowError ||
                     type == PyExc_ValueError;
  PyObject* text = plain ? PyObject_Str(error) : nullptr;
  if (!text) {
    PyErr_Clear();
    restore_pending_error(error);
    throw_current();
  }
  PyErr_Format(type, "argument '%s': %U", argument, text);
  Py_DECREF(text);
  Py_DECREF(error);
  throw_current();
}

std::uint64_t to_index(PyObject* value, const char* argument) {
  PyObject* number = PyNumber_Index(value);
  if (!number) reraise_for_argument(argument);
  const unsigned long long result = PyLong_AsUnsignedLongLong(number);
  Py_DECREF(number);
  if (result == static_cast<unsigned long long>(-1) && PyErr_Occurred()) {
    reraise_for_argument(argument);
  }
  return result;
}

std::uint8_t to_small_int(PyObject* value, const char* argument) {
  PyObject* number = PyNumber_Index(value);
  if (!number) reraise_for_argument(argument);
  int overflow = 0;
  const long long result = PyLong_AsLongLongAndOverflow(number, &overflow);
  Py_DECREF(number);
  if (result == -1 && PyErr_Occurred()) reraise_for_argument(argument);
  if (overflow != 0 || result < 0 || result > 255) {
    throw_error(PyExc_OverflowError, std::string("argument '") + argument +
                                         "': integer out of range for an unsigned 8-bit value");
  }
  return static_cast<std::uint8_t>(result);
}

namespace {

// NumPy's scalar bool, if NumPy is loaded at all; without NumPy no such value can exist.
bool is_numpy_bool(PyObject* value) {
  py::object numpy = py::reinterpret_steal<py::object>(PyImport_GetModule(py::str("numpy").ptr()));
  if (!numpy) {
    if (PyErr_Occurred()) throw_current();
    return false;
  }
  py::object numpy_bool = numpy.attr("bool_");
  const int result = PyObject_IsInstance(value, numpy_bool.ptr());
  if (result < 0) throw_current();
  return result == 1;
}

}  // namespace

bool to_flag(PyObject* value, const char* argument) {
  if (PyBool_Check(value)) return value == Py_True;
  if (is_numpy_bool(value)) {
    const int truth = PyObject_IsTrue(value);
    if (truth < 0) throw_current();
    return truth == 1;
  }
  throw_error(PyExc_TypeError,
              std::string("argument '") + argument + "': expected bool, got " + type_name(value));
}

std::string to_str(PyObject* value, const char* argument) {
  if (!PyUnicode_Check(value)) {
    throw_error(PyExc_TypeError,
                std::string("argument '") + argument + "': expected str, got " + type_name(value));
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(value, &size);
  if (!data) throw_current();
  return {data, static_cast<std::size_t>(size)};
}

std::optional<std::string> to_optional_str(PyObject* value, const char* argument) {
  if (value == Py_None) return std::nullopt;
  return to_str(value, argument);
}

std::pair<std::uint64_t, std::uint64_t> to_shape(PyObject* value, const char* argument) {
  if (!PyTuple_Check(value)) {
    throw_error(PyExc_TypeError, std::string("argument '") + argument +
                                     "': expected tuple, got " + type_name(value));
  }
  const Py_ssize_t size = PyTuple_GET_SIZE(value);
  if (size != 2) {
    throw_error(PyExc_ValueError, std::string("argument '") + argument +
                                      "': expected a tuple of 2 items, got " +
                                      std::to_string(size));
  }
  const std::uint64_t first = to_index(PyTuple_GET_ITEM(value, 0), argument);
  const std::uint64_t second = to_index(PyTuple_GET_ITEM(value, 1), argument);
  return {first, second};
}

void raise_core(const SimError& error, PyObject* fallback) {
  switch (error.variant()) {
    case SimError::Variant::Interrupted:
      // The hook stopped the run because a signal handler raised; that exception stands.
      if (PyErr_Occurred()) throw_current();
      PyErr_SetNone(PyExc_KeyboardInterrupt);
      throw_current();
    case SimError::Variant::ToggleCategory:
      throw_error(PyExc_ValueError, error.display());
    default:
      throw_error(fallback, error.display());
  }
}

}  // namespace vexolin::python
