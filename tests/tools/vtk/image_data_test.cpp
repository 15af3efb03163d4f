// The .vti writer's refusals: arrays that do not fit the grid would make a
// file that VTK reads as garbage or not at all. (The files themselves are
// read back by VTK's reader in vti_files_test.py.)
#include "vtk/image_data.h"

#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>

namespace csolver::vtk {
namespace {

TEST(VtkImageData, RefusesArraysThatDoNotFitTheGrid) {
  ImageGeometry g;
  g.points = {2, 3, 1};
  const std::vector<double> six(6, 1.0), twelve(12, 1.0);
  EXPECT_NO_THROW(image_data_file(g, {float64_array("a", 1, six), float64_array("b", 2, twelve)}));
  const struct {
    const char* what;
    std::vector<PointArray> arrays;
  } bad[] = {
      {"too few values", {float64_array("a", 2, six)}},
      {"a repeated name", {float64_array("a", 1, six), float64_array("a", 1, six)}},
      {"an empty name", {float64_array("", 1, six)}},
      {"component names not one per component", {float64_array("a", 2, twelve, {"x"})}},
  };
  for (const auto& b : bad) EXPECT_THROW(image_data_file(g, b.arrays), std::invalid_argument) << b.what;
  g.points = {2, 0, 1};
  EXPECT_THROW(image_data_file(g, {}), std::invalid_argument);
}

TEST(VtkImageData, AppendsEachArrayAfterItsLengthAtTheOffsetTheHeaderNames) {
  ImageGeometry g;
  g.points = {3, 1, 1};
  const std::string file = image_data_file(g, {int32_array("first", {1, 2, 3}), uint32_array("second", {4, 5, 6})});
  const std::size_t data = file.find("<AppendedData encoding=\"raw\">\n   _") + 34;
  ASSERT_NE(file.find("Name=\"second\" NumberOfComponents=\"1\" format=\"appended\" offset=\"20\""), std::string::npos);
  std::uint64_t length = 0;
  std::uint32_t value = 0;
  std::memcpy(&length, file.data() + data + 20, 8);
  std::memcpy(&value, file.data() + data + 28, 4);
  EXPECT_EQ(length, 12u);
  EXPECT_EQ(value, 4u);
}

}  // namespace
}  // namespace csolver::vtk
