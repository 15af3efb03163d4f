// Images laid onto the grid: a ball drawn voxel by voxel must give the flags
// of the analytic sphere, and a disk those of the penny-shaped crack.
#include "tools/tool_test_support.h"

#include "images/image_volume.h"
#include "shapes/shapes.h"

#include <gtest/gtest.h>
#include <algorithm>
#include <array>
#include <cstring>

namespace csolver {
namespace {

using testing::ScratchDir;

struct BallCase {
  const char* name;
  std::int32_t M;
  std::int32_t voxels_per_interval;  // image resolution: (k M + 1) voxels per axis
  double radius;                     // in grid units
  int bits;
  image::Selection selection;
  std::uint16_t inside_value, outside_value;
  bool single_page;  // a disk in one page: the crack planform
  bool lzw = false;
};
// Test names and failure messages show the case name, not its bytes.
void PrintTo(const BallCase& c, std::ostream* os) { *os << c.name; }


class BallImage : public ::testing::TestWithParam<BallCase> {};

// The ball is drawn by integer voxel distances, independently of the shapes
// library; with (k M + 1) voxels, grid node i falls on voxel k i exactly.
TEST_P(BallImage, GivesTheFlagsOfTheAnalyticShape) {
  const BallCase& c = GetParam();
  ScratchDir dir(std::string("ball_") + c.name);
  const std::int32_t n = c.voxels_per_interval * c.M + 1, nz = c.single_page ? 1 : n;
  const std::vector<std::uint16_t> samples =
      testing::ball_samples(n, nz, c.radius * (n - 1) / 2.0, c.inside_value, c.outside_value);
  const auto file = dir.path() / "ball.tif";
  image::write_tiff_stack(file, n, n, nz, samples, c.bits, c.lzw);

  const image::Mask mask = image::read_tiff_stack(file, c.selection);
  ASSERT_EQ(mask.nz, nz);
  NodeTable from_image, analytic;
  if (c.single_page) {
    from_image = shapes::crack_node_table(c.M, image::planform_indicator(mask, {}));
    analytic = shapes::crack_node_table(c.M, shapes::inside(shapes::PlanarEllipse{c.radius, c.radius, 0, 0, 0}));
  } else {
    from_image = shapes::volume_node_table(c.M, image::volume_indicator(mask, {}));
    analytic = shapes::volume_node_table(c.M, shapes::inside(shapes::Ellipsoid{{c.radius, c.radius, c.radius}, {0, 0, 0}, {0, 0, 0}}));
  }
  std::size_t flagged = 0, different = 0;
  for (std::size_t i = 0; i < analytic.node_flag.size(); ++i) {
    flagged += analytic.node_flag[i] == 1;
    different += analytic.node_flag[i] != from_image.node_flag[i];
  }
  EXPECT_GT(flagged, 0u);
  EXPECT_EQ(different, 0u);
}

using Kind = image::Selection::Kind;
INSTANTIATE_TEST_SUITE_P(
    Cases, BallImage,
    ::testing::Values(BallCase{"u8_threshold_same_resolution", 20, 1, 0.5, 8, {Kind::threshold, 128, false}, 200, 30, false},
                      BallCase{"u8_nonzero_finer_image", 20, 2, 0.5, 8, {}, 1, 0, false},
                      BallCase{"u16_label_finer_image", 16, 3, 0.6, 16, {Kind::label, 40000, false}, 40000, 1000, false},
                      BallCase{"u16_inverted_threshold", 12, 2, 0.7, 16, {Kind::threshold, 30000, true}, 100, 60000, false},
                      BallCase{"u16_lzw_strips", 14, 2, 0.55, 16, {Kind::threshold, 500, false}, 900, 100, false, true},
                      BallCase{"disk_planform", 32, 2, 0.5, 8, {Kind::threshold, 128, false}, 255, 0, true}),
    [](const ::testing::TestParamInfo<BallCase>& info) { return std::string(info.param.name); });

// A raw volume in each sample type gives the same mask as its values say.
TEST(RawVolume, ReadsEverySampleTypeWithHeaderAndByteOrder) {
  ScratchDir dir("raw");
  const std::array<std::int32_t, 3> dims{3, 2, 2};
  const std::vector<double> values{0, 5, 300, 7, 0, 1000, 2, 0, 65535, 9, 4, 0};
  struct TypeCase {
    const char* name;
    std::size_t bytes;
  };
  for (const TypeCase& t : {TypeCase{"u16", 2}, TypeCase{"u16be", 2}, TypeCase{"i16", 2}, TypeCase{"f32", 4}, TypeCase{"u8", 1}}) {
    std::string data(5, 'h');  // a header of 5 bytes
    for (double v : values) {
      const std::string name = t.name;
      std::uint32_t bits = 0;
      if (name == "f32") {
        const float f = static_cast<float>(v);
        std::memcpy(&bits, &f, 4);
      } else {
        bits = static_cast<std::uint32_t>(name == "u8" ? std::min(v, 255.0) : name == "i16" ? std::min(v, 32767.0) : v);
      }
      for (std::size_t b = 0; b < t.bytes; ++b) {
        const std::size_t shift = name == "u16be" ? 8 * (t.bytes - 1 - b) : 8 * b;
        data += static_cast<char>((bits >> shift) & 0xff);
      }
    }
    const auto file = dir.path() / (std::string(t.name) + ".raw");
    std::ofstream(file, std::ios::binary) << data;
    const image::Mask mask = image::read_raw_volume(file, dims, image::parse_sample_type(t.name), 5, {Kind::threshold, 5, false});
    ASSERT_EQ(mask.inside.size(), values.size()) << t.name;
    for (std::size_t i = 0; i < values.size(); ++i) EXPECT_EQ(mask.inside[i], values[i] >= 5 ? 1 : 0) << t.name << " sample " << i;
  }
}

}  // namespace
}  // namespace csolver
