#pragma once
// The compiled part of the Python package `contribution`: thin bindings of the
// library's interface (solve.h, effective.h) and of the shapes and images of
// the front ends (tools/cli). The Python modules beside it give the documented
// API; these functions take checked, contiguous arrays and return plain values.
#include "contribution/types.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <string>

namespace csolver::python {

namespace py = pybind11;

void bind_solve(py::module_& m);
void bind_shapes(py::module_& m);
void bind_effective(py::module_& m);

// A 6x6 array-like as a Tensor6 ([row][column]); anything else raises
// ValueError naming `what`.
contribution::Tensor6 tensor6_from(const py::handle& object, const std::string& what);
py::array_t<double> to_numpy(const contribution::Tensor6& t);
py::array_t<double> to_numpy(const contribution::Tensor3& t);

}  // namespace csolver::python
