#pragma once
// VTK XML image data (.vti): point arrays on a regular grid, as ParaView and
// VTK's vtkXMLImageDataReader open them. One piece, the arrays appended raw
// after the XML header (8-byte length before each), in the machine's byte
// order. Only what the front ends write: no cells data, no compression.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace csolver::vtk {

// Points per axis, x fastest in every array; point (i, j, k) lies at
// origin + (i, j, k) * spacing.
struct ImageGeometry {
  std::array<std::int32_t, 3> points{1, 1, 1};
  std::array<double, 3> origin{0, 0, 0};
  std::array<double, 3> spacing{1, 1, 1};

  std::size_t count() const {
    return static_cast<std::size_t>(points[0]) * static_cast<std::size_t>(points[1]) *
           static_cast<std::size_t>(points[2]);
  }
};

// One point array: `components` values per point, interleaved.
struct PointArray {
  std::string name;
  int components = 1;
  std::string type;   // VTK's name: "Float64", "Float32", "Int32", "UInt32", "UInt8"
  std::string bytes;  // the values in memory order
  std::vector<std::string> component_names;  // optional, one per component
};

PointArray float64_array(std::string name, int components, const std::vector<double>& values,
                         std::vector<std::string> component_names = {});
PointArray float32_array(std::string name, int components, const std::vector<float>& values);
PointArray int32_array(std::string name, const std::vector<std::int32_t>& values);
PointArray uint32_array(std::string name, const std::vector<std::uint32_t>& values);

// The whole file. Throws std::invalid_argument if an array's length is not
// components times the geometry's point count, or names repeat or are empty.
std::string image_data_file(const ImageGeometry& geometry, const std::vector<PointArray>& arrays);

}  // namespace csolver::vtk
