// The shapes and images of contribution_input, read by the same code
// (cli::read_shape): the options arrive as a parsed command line would hold
// them, so defaults, checks, messages and the placement of images are the
// input generator's own, and a shape gives the same node flags here as there.
#include "bindings.h"

#include "cli/shape_options.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace csolver::python {

namespace {

// The library's largest grids: N^3 and N^2 node counts stay 32-bit.
constexpr std::int32_t LARGEST_VOLUME_M = 1289;
constexpr std::int32_t LARGEST_PLANE_M = 46339;

struct Shape {
  cli::ShapeSpec shape;
};

Shape make_shape(const std::string& name, const std::optional<std::string>& file,
                 const std::map<std::string, std::vector<double>>& numbers,
                 const std::map<std::string, std::string>& texts, const std::vector<std::string>& flags,
                 bool crack_wanted) {
  cli::CommandLine cl;
  cl.positional.push_back(name);
  if (file) cl.positional.push_back(*file);
  for (const auto& [option, values] : numbers)
    for (double v : values)
      if (!std::isfinite(v)) throw cli::UsageError(option + " must be finite");
  cl.numbers = numbers;
  cl.texts = texts;
  cl.flags.insert(flags.begin(), flags.end());
  cli::Options o(cl, "shape " + name);
  Shape shape{cli::read_shape(cl, o, crack_wanted)};
  o.reject_unused();
  return shape;
}

py::array flags_of(const Shape& shape, long M) {
  const long largest = shape.shape.crack ? LARGEST_PLANE_M : LARGEST_VOLUME_M;
  if (M < 2 || M > largest)
    throw py::value_error("found M = " + std::to_string(M) + ", expected 2 <= M <= " + std::to_string(largest) +
                          " grid intervals (N = M + 1 nodes per axis)");
  std::vector<std::int32_t> flags;
  {
    py::gil_scoped_release release;
    flags = cli::shape_flags(shape.shape, static_cast<std::int32_t>(M));
  }
  // Fortran order: element [i, j, (k)] sits at i + N (j + N k), the library's
  // x-fastest layout, so the flags are copied in storage order.
  const py::ssize_t n = M + 1;
  std::vector<py::ssize_t> dims(shape.shape.crack ? 2 : 3, n);
  py::array_t<bool, py::array::f_style> out(dims);
  bool* data = out.mutable_data();
  for (std::size_t at = 0; at < flags.size(); ++at) data[at] = flags[at] != 0;
  return out;
}

}  // namespace

void bind_shapes(py::module_& m) {
  py::class_<Shape>(m, "Shape",
                    "A shape ready to be put on grids: flags(M) gives its flag array at M intervals;\n"
                    "crack tells whether it is a crack planform (flags (N, N)) or a volume (flags (N, N, N));\n"
                    "name and description as contribution_input writes them into input.txt's free text.")
      .def_property_readonly("name", [](const Shape& s) { return s.shape.name; })
      .def_property_readonly("crack", [](const Shape& s) { return s.shape.crack; })
      .def_property_readonly("description", [](const Shape& s) { return s.shape.description; })
      .def("flags", &flags_of, py::arg("M"),
           "Flags at M intervals: bool (N, N, N) indexed [i, j, k], or (N, N) [i, j] for a crack; N = M + 1.");
  m.def("make_shape", &make_shape, py::arg("name"), py::arg("file"), py::arg("numbers"), py::arg("texts"), py::arg("flags"),
        py::arg("crack_wanted"));
}

}  // namespace csolver::python
