// The extension module `contribution._contribution`.
#include "bindings.h"

#include "cli/command_line.h"
#include "contribution/errors.h"
#include "images/image_volume.h"

#include <cmath>

namespace csolver::python {

contribution::Tensor6 tensor6_from(const py::handle& object, const std::string& what) {
  const auto a = py::array_t<double, py::array::c_style | py::array::forcecast>::ensure(object);
  if (!a) throw py::value_error(what + " must be a 6x6 array of numbers");
  if (a.ndim() != 2 || a.shape(0) != 6 || a.shape(1) != 6) {
    std::string shape;
    for (py::ssize_t d = 0; d < a.ndim(); ++d) shape += (d ? ", " : "") + std::to_string(a.shape(d));
    throw py::value_error(what + " must be a 6x6 array, found shape (" + shape + ")");
  }
  contribution::Tensor6 t{};
  const auto v = a.unchecked<2>();
  for (py::ssize_t r = 0; r < 6; ++r)
    for (py::ssize_t c = 0; c < 6; ++c) t[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = v(r, c);
  return t;
}

namespace {

template <std::size_t Rows, std::size_t Cols>
py::array_t<double> matrix_to_numpy(const std::array<std::array<double, Cols>, Rows>& t) {
  py::array_t<double> out({static_cast<py::ssize_t>(Rows), static_cast<py::ssize_t>(Cols)});
  auto v = out.mutable_unchecked<2>();
  for (std::size_t r = 0; r < Rows; ++r)
    for (std::size_t c = 0; c < Cols; ++c) v(static_cast<py::ssize_t>(r), static_cast<py::ssize_t>(c)) = t[r][c];
  return out;
}

}  // namespace

py::array_t<double> to_numpy(const contribution::Tensor6& t) { return matrix_to_numpy(t); }
py::array_t<double> to_numpy(const contribution::Tensor3& t) { return matrix_to_numpy(t); }

}  // namespace csolver::python

PYBIND11_MODULE(_contribution, m) {
  namespace py = pybind11;
  m.doc() = "Compiled part of the package contribution; use the package's modules, not this one.";

  // contribution::InvalidProblem and the effective functions' errors derive
  // from std::invalid_argument, which pybind11 raises as ValueError.
  py::register_exception<contribution::Cancelled>(m, "Cancelled", PyExc_RuntimeError);
  py::register_exception<contribution::ResourceError>(m, "ResourceError", PyExc_MemoryError);
  // An image that cannot be read (OSError) or used as asked (ValueError):
  // the program tells these apart no more than its exit status 2 does.
  static PyObject* image_error = PyErr_NewException(
      "contribution.ImageError", py::make_tuple(py::handle(PyExc_OSError), py::handle(PyExc_ValueError)).ptr(),
      nullptr);
  m.add_object("ImageError", py::handle(image_error));
  // A shape option out of range reads as a bad argument, as on the command line.
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const csolver::cli::UsageError& e) {
      PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const csolver::image::ImageError& e) {
      PyErr_SetString(image_error, e.what());
    }
  });

  csolver::python::bind_solve(m);
  csolver::python::bind_shapes(m);
  csolver::python::bind_effective(m);
}
