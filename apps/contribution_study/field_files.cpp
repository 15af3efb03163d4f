#include "contribution_study/field_files.h"

#include "vtk/image_data.h"

#include <stdexcept>

namespace csolver::study_tool {

namespace {

vtk::ImageGeometry node_grid(std::int32_t M, int rank) {
  const double h = contribution::grid_step(M);
  vtk::ImageGeometry g;
  g.points = {M + 1, M + 1, rank == 3 ? M + 1 : 1};
  g.origin = {-1, -1, rank == 3 ? -1.0 : 0.0};
  g.spacing = {h, h, h};
  return g;
}

}  // namespace

std::string inhomogeneity_fields_vti(const contribution::InhomogeneityResult& r, const std::vector<std::int32_t>& flags) {
  const vtk::ImageGeometry g = node_grid(r.M, 3);
  const std::size_t nodes = g.count();
  if (r.field.size() != 36 * nodes || flags.size() != nodes)
    throw std::logic_error("inhomogeneity_fields_vti: the result holds no field of this grid");
  // VTK's symmetric tensor XX, YY, ZZ, XY, YZ, XZ from the standard 11, 22, 33, 23, 13, 12.
  constexpr std::size_t FROM_STANDARD[6] = {0, 1, 2, 5, 3, 4};
  const std::vector<std::string> names = {"11", "22", "33", "12", "23", "13"};
  std::vector<vtk::PointArray> arrays;
  for (std::size_t load = 0; load < 6; ++load) {
    std::vector<double> values(6 * nodes);
    for (std::size_t c = 0; c < 6; ++c) {
      const double* component = &r.field[(load * 6 + FROM_STANDARD[c]) * nodes];
      for (std::size_t node = 0; node < nodes; ++node) values[6 * node + c] = component[node];
    }
    arrays.push_back(vtk::float64_array("field_load_" + std::to_string(load + 1), 6, values, names));
  }
  arrays.push_back(vtk::int32_array("flag", flags));
  return vtk::image_data_file(g, arrays);
}

std::string crack_openings_vti(const contribution::CrackResult& r, const std::vector<std::int32_t>& flags) {
  const vtk::ImageGeometry g = node_grid(r.M, 2);
  const std::size_t nodes = g.count();
  if (r.opening.size() != 9 * nodes || flags.size() != nodes)
    throw std::logic_error("crack_openings_vti: the result holds no opening of this grid");
  std::vector<vtk::PointArray> arrays;
  for (std::size_t load = 0; load < 3; ++load) {
    std::vector<double> values(3 * nodes);
    for (std::size_t c = 0; c < 3; ++c)
      for (std::size_t node = 0; node < nodes; ++node) values[3 * node + c] = r.opening[(load * 3 + c) * nodes + node];
    arrays.push_back(vtk::float64_array("opening_load_" + std::to_string(load + 1), 3, values, {"x", "y", "z"}));
  }
  arrays.push_back(vtk::int32_array("flag", flags));
  return vtk::image_data_file(g, arrays);
}

}  // namespace csolver::study_tool
