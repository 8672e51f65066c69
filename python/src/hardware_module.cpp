// The extension module `vexolin`.
#include <pybind11/pybind11.h>

namespace py = pybind11;

PYBIND11_MODULE(vexolin, m) {
  m.attr("__all__") = py::list();
}
