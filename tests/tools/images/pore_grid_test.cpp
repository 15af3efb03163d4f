// One pore on its own grid: the flags equal those contribution_input writes
// for the cropped pore saved as a TIFF stack, nodes fall on voxel centres
// where the density says so, and the mapping back to voxels is the one the
// flags were sampled by.
#include "tools/images/pore_stack.h"
#include "tools/tool_test_support.h"

#include "contribution_solver/input.h"
#include "images/pore_grid.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace csolver {
namespace {

using testing::ScratchDir;

// A ring about z with a ball in its hole: the ball lies inside the ring's
// bounding box, so the ring's crop must leave it out.
testing::SyntheticStack ring_and_ball() {
  testing::SyntheticStack stack(33, 33, 13);
  stack.add("ring", [](double x, double y, double z) {
    const double from_centre_line = std::hypot(x - 16, y - 16) - 8;
    return from_centre_line * from_centre_line + (z - 6) * (z - 6) <= 9;
  });
  stack.add("ball in the hole", testing::ball({16, 16, 6}, 3));
  return stack;
}

struct Labelled {
  image::Labels labels;
  std::vector<image::PoreProperties> pores;
};

Labelled label(const testing::SyntheticStack& stack, const image::Vector3& voxel_size) {
  Labelled l{image::label_pores(stack.mask()), {}};
  l.pores = image::pore_properties(l.labels, voxel_size);
  return l;
}

std::string number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

struct GridCase {
  const char* name;
  const char* stack;  // "ring" or "population"
  std::uint32_t label;
  std::int32_t M;           // 0: from nodes_per_voxel
  double nodes_per_voxel;
  image::Vector3 voxel_size;
  double fill;
};
void PrintTo(const GridCase& c, std::ostream* os) { *os << c.name; }

class PoreOnItsGrid : public ::testing::TestWithParam<GridCase> {};

TEST_P(PoreOnItsGrid, EqualsContributionInputOnTheCroppedStack) {
  const GridCase& c = GetParam();
  ScratchDir dir(std::string("pore_grid_") + c.name);
  const testing::SyntheticStack stack = std::string(c.stack) == "ring" ? ring_and_ball() : testing::population_stack();
  const Labelled l = label(stack, c.voxel_size);
  ASSERT_GE(l.pores.size(), c.label);
  const image::PoreProperties& pore = l.pores[c.label - 1];

  const image::Mask crop = image::crop_pore(l.labels, pore);
  EXPECT_EQ(crop.nx, pore.box_size()[0]);
  EXPECT_EQ(std::count(crop.inside.begin(), crop.inside.end(), 1), pore.voxels);  // no other pore's voxel
  std::vector<std::uint16_t> samples(crop.inside.begin(), crop.inside.end());
  for (auto& s : samples) s *= 255;
  const auto file = dir.path() / "pore.tif";
  image::write_tiff_stack(file, crop.nx, crop.ny, crop.nz, samples, 8);

  const image::Placement placement{{c.voxel_size[0], c.voxel_size[1], c.voxel_size[2]}, c.fill};
  const std::int32_t M = c.M > 0 ? c.M : image::intervals_for(pore, c.nodes_per_voxel, placement);
  const image::PoreGrid grid = image::pore_grid(l.labels, pore, M, placement);
  ASSERT_EQ(grid.M, M);
  ASSERT_EQ(grid.flags.size(), static_cast<std::size_t>(M + 1) * (M + 1) * (M + 1));
  EXPECT_EQ(grid.label, pore.label);

  const testing::GeneratorOutput run = testing::run_generator_captured(
      {"tiff", file.string(), "--M", std::to_string(M), "--E1", "10", "--voxel", number(c.voxel_size[0]), number(c.voxel_size[1]),
       number(c.voxel_size[2]), "--fill", number(c.fill), "-o", dir.path().string()});
  ASSERT_EQ(run.status, 0) << run.err;
  const ProblemInput input = read_problem(dir.path() / "input.txt");
  ASSERT_EQ(input.nodes.N, M + 1);
  EXPECT_TRUE(input.nodes.node_flag == grid.flags);
  std::size_t flagged = 0;
  for (std::int32_t f : input.nodes.node_flag) flagged += f == 1;
  EXPECT_EQ(grid.flagged, flagged);
  EXPECT_GT(flagged, 0u);

  // Every flag is the pore's label at the voxel the mapping names.
  for (std::int32_t k = 0; k <= M; ++k)
    for (std::int32_t j = 0; j <= M; ++j)
      for (std::int32_t i = 0; i <= M; ++i) {
        const std::array<std::int32_t, 3> v = grid.voxel(i, j, k);
        const bool in = v[0] >= 0 && l.labels.at(v[0], v[1], v[2]) == pore.label;
        ASSERT_EQ(grid.flags[grid.index(i, j, k)], in ? 1 : 0) << i << " " << j << " " << k;
      }
  // The grid is isotropic in physical units: node offsets from the box
  // centre are xi * length_per_unit on every axis.
  const std::array<std::int32_t, 3> size = pore.box_size();
  for (std::int32_t i : {0, M / 3, M}) {
    const image::Vector3 p = grid.position(i, M - i, i / 2);
    const std::int32_t node[3] = {i, M - i, i / 2};
    for (std::size_t a = 0; a < 3; ++a) {
      const double offset = (p[a] - pore.box_begin[a] - (size[a] - 1) / 2.0) * c.voxel_size[a];
      EXPECT_NEAR(offset, shapes::ideal_coordinate(node[a], M) * grid.length_per_unit, 1e-12 * grid.length_per_unit);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PoreOnItsGrid,
    ::testing::Values(GridCase{"ring_M24", "ring", 1, 24, 0, {1, 1, 1}, 1},
                      GridCase{"ring_anisotropic_fill", "ring", 1, 17, 0, {0.8, 1, 1.5}, 0.9},
                      GridCase{"ring_nodes_per_voxel", "ring", 1, 0, 1.5, {1, 1, 1}, 1},
                      GridCase{"ball_in_hole", "ring", 2, 9, 0, {1, 1, 1}, 1},
                      GridCase{"tilted_ellipsoid", "population", 4, 20, 0, {1, 1, 1}, 1},
                      GridCase{"ball_r8_flat_voxels", "population", 3, 0, 1, {0.5, 0.5, 1.2}, 0.8}),
    [](const ::testing::TestParamInfo<GridCase>& info) { return std::string(info.param.name); });

// One grid interval per voxel spacing with fill 1: node i of the longest side
// is voxel i, and a shorter side sits centred, offset by whole voxels.
TEST(PoreOnItsGrid, OneNodePerVoxelPutsNodesOnVoxelCentres) {
  const testing::SyntheticStack stack = ring_and_ball();
  const Labelled l = label(stack, {1, 1, 1});
  ASSERT_EQ(l.pores.size(), 2u);
  const image::PoreProperties& ring = l.pores[0];
  ASSERT_EQ(ring.box_size(), (std::array<std::int32_t, 3>{23, 23, 7}));
  const std::int32_t M = image::intervals_for(ring, 1, {});
  ASSERT_EQ(M, 22);
  const image::PoreGrid grid = image::pore_grid(l.labels, ring, M, {});
  EXPECT_DOUBLE_EQ(grid.length_per_unit, 11);
  const std::int32_t z_offset = (M - 6) / 2;
  for (std::int32_t k = 0; k <= M; ++k)
    for (std::int32_t j = 0; j <= M; ++j)
      for (std::int32_t i = 0; i <= M; ++i) {
        const std::int32_t z = k - z_offset;
        const bool in_box = z >= 0 && z < 7;
        const std::array<std::int32_t, 3> expected_voxel =
            in_box ? std::array<std::int32_t, 3>{ring.box_begin[0] + i, ring.box_begin[1] + j, ring.box_begin[2] + z}
                   : std::array<std::int32_t, 3>{-1, -1, -1};
        ASSERT_EQ(grid.voxel(i, j, k), expected_voxel) << i << " " << j << " " << k;
        const bool in = in_box && l.labels.at(expected_voxel[0], expected_voxel[1], expected_voxel[2]) == ring.label;
        ASSERT_EQ(grid.flags[grid.index(i, j, k)], in ? 1 : 0) << i << " " << j << " " << k;
        if (in_box) {
          const image::Vector3 p = grid.position(i, j, k);
          for (std::size_t a = 0; a < 3; ++a) EXPECT_NEAR(p[a], expected_voxel[a], 1e-12);
        }
      }
  EXPECT_EQ(grid.flagged, static_cast<std::size_t>(ring.voxels));
}

TEST(PoreOnItsGrid, IntervalsFollowTheLongestSide) {
  image::PoreProperties box;
  box.label = 1;
  box.box_begin = {3, 4, 5};
  box.box_end = {14, 10, 10};  // 11 x 6 x 5 voxels
  struct IntervalCase {
    double nodes_per_voxel;
    image::Vector3 voxel_size;
    double fill;
    std::int32_t M;
  };
  const IntervalCase cases[] = {
      {1, {1, 1, 1}, 1, 10},    {2.5, {1, 1, 1}, 1, 25},   {1, {1, 1, 1}, 0.5, 20},
      {1, {1, 2, 1}, 1, 10},    // sides 10, 10, 4: the tie goes to x, the side with more voxels
      {1, {1, 3, 1}, 1, 5},     {2, {1, 3, 1}, 1, 10},     // y is longest: 5 spacings
      {1, {1, 1, 4}, 1, 4},     {0.01, {1, 1, 1}, 1, 2},   // never below 2
  };
  for (const IntervalCase& c : cases)
    EXPECT_EQ(image::intervals_for(box, c.nodes_per_voxel, {{c.voxel_size[0], c.voxel_size[1], c.voxel_size[2]}, c.fill}), c.M)
        << c.nodes_per_voxel << " " << c.voxel_size[1] << " " << c.voxel_size[2] << " " << c.fill;
  EXPECT_THROW(image::intervals_for(box, 0, {}), image::ImageError);
  image::PoreProperties single = box;
  single.box_end = {4, 5, 6};
  EXPECT_THROW(image::intervals_for(single, 1, {}), image::ImageError);
}

TEST(PoreOnItsGrid, RefusesSingleVoxelsAndTooFewIntervals) {
  image::Mask m{5, 5, 5, std::vector<std::uint8_t>(125, 0)};
  m.inside[62] = 1;                     // (2, 2, 2) alone
  m.inside[0] = m.inside[1] = 1;        // two voxels at a corner
  const image::Labels labels = image::label_pores(m);
  const std::vector<image::PoreProperties> pores = image::pore_properties(labels, {1, 1, 1});
  ASSERT_EQ(pores.size(), 2u);
  EXPECT_THROW(image::pore_grid(labels, pores[1], 4, {}), image::ImageError);
  EXPECT_THROW(image::pore_grid(labels, pores[0], 1, {}), image::ImageError);
  // Two voxels are enough: the pair spans the cube along x.
  const image::PoreGrid pair = image::pore_grid(labels, pores[0], 2, {});
  EXPECT_EQ(pair.voxel(0, 1, 1), (std::array<std::int32_t, 3>{0, 0, 0}));
  EXPECT_EQ(pair.voxel(2, 1, 1), (std::array<std::int32_t, 3>{1, 0, 0}));
  EXPECT_EQ(pair.flags[pair.index(0, 1, 1)], 1);
  EXPECT_EQ(pair.flags[pair.index(2, 1, 1)], 1);
  image::PoreProperties foreign = pores[0];
  foreign.label = 7;
  EXPECT_THROW(image::crop_pore(labels, foreign), image::ImageError);
}

}  // namespace
}  // namespace csolver
