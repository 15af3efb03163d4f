// Smooth sampling of a pore: one surface for every grid (the nodes two grids
// share get the same flags), the pore's volume kept whatever the smoothing,
// a pore one voxel thin kept, symmetry of a centred ball and of a cube
// under the cube's rotations, and a cube that stays a cube.
#include "tools/images/pore_stack.h"

#include "images/pore_sampling.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace csolver {
namespace {

struct Labelled {
  image::Labels labels;
  std::vector<image::PoreProperties> pores;
};

Labelled label(const testing::SyntheticStack& stack) {
  Labelled l{image::label_pores(stack.mask()), {}};
  l.pores = image::pore_properties(l.labels, {1, 1, 1});
  return l;
}

// Flagged volume over the pore's voxel volume (grid units back to voxels).
double volume_ratio(const image::PoreGrid& g, const image::PoreProperties& pore) {
  const double step = 2.0 / g.M * g.length_per_unit;
  return static_cast<double>(g.flagged) * step * step * step / static_cast<double>(pore.voxels);
}

struct PoreCase {
  const char* name;
  testing::Body body;
  std::int32_t M;        // fine enough that the node count measures the volume
  double volume_within;  // |flagged volume / voxel volume - 1|
};
void PrintTo(const PoreCase& c, std::ostream* os) { *os << c.name; }

class SmoothSampling : public ::testing::TestWithParam<PoreCase> {};

// The 1/2 level of a smoothed ball lies about sigma^2 / R inside it (-13 % of
// the volume at R = 5, sigma = 1) and loses a slab one voxel thin; the
// volume-keeping level holds both for any sigma. The level is found on two
// samples per voxel and axis, which cannot tell a slab one voxel thin from
// one 1.3 thick: measured +21 % and +29 %, kept within 30 %.
TEST_P(SmoothSampling, KeepsThePoresVolumeForEverySmoothing) {
  const PoreCase& c = GetParam();
  testing::SyntheticStack stack(40, 40, 40);
  stack.add(c.name, c.body);
  const Labelled l = label(stack);
  ASSERT_EQ(l.pores.size(), 1u);
  for (double sigma : {0.0, 0.7, 1.5}) {
    SCOPED_TRACE(sigma);
    const image::PoreGrid g = image::smooth_pore_grid(l.labels, l.pores[0], c.M, {}, sigma);
    EXPECT_NEAR(volume_ratio(g, l.pores[0]), 1.0, c.volume_within);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Pores, SmoothSampling,
    ::testing::Values(PoreCase{"ball_r5", testing::ball({20, 20, 20}, 5), 64, 0.03},
                      PoreCase{"ball_r3_off_centre", testing::ball({20.4, 19.7, 20.2}, 3), 64, 0.05},
                      PoreCase{"slab_one_voxel_thin", [](double x, double y, double z) {
                                 return std::abs(x - 20) <= 6 && std::abs(y - 20) <= 6 && std::abs(z - 20) < 0.5;
                               }, 96, 0.30},
                      PoreCase{"flat_ellipsoid", testing::ellipsoid({20, 20, 20}, {9, 7, 2.5}, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}), 64, 0.05}),
    [](const ::testing::TestParamInfo<PoreCase>& info) { return std::string(info.param.name); });

// Every grid samples the same surface: node i of grid M and node 2i of grid
// 2M lie at the same point and must agree, at every node, for any shift.
TEST(SmoothSamplingOneSurface, NodesSharedByTwoGridsAgree) {
  testing::SyntheticStack stack(30, 30, 30);
  stack.add("ellipsoid", testing::ellipsoid({15, 14, 15}, {8, 5, 3}, {{{0.8, -0.6, 0}, {0.6, 0.8, 0}, {0, 0, 1}}}));
  const Labelled l = label(stack);
  ASSERT_EQ(l.pores.size(), 1u);
  for (std::int32_t M : {10, 13, 16}) {
    const image::PoreGrid coarse = image::smooth_pore_grid(l.labels, l.pores[0], M, {});
    const image::PoreGrid fine = image::smooth_pore_grid(l.labels, l.pores[0], 2 * M, {});
    std::size_t differ = 0;
    for (std::int32_t k = 0; k <= M; ++k)
      for (std::int32_t j = 0; j <= M; ++j)
        for (std::int32_t i = 0; i <= M; ++i)
          differ += coarse.flags[coarse.index(i, j, k)] != fine.flags[fine.index(2 * i, 2 * j, 2 * k)];
    EXPECT_EQ(differ, 0u) << "M = " << M;
    EXPECT_GT(coarse.flagged, 0u);
  }
}

// A ball centred on a voxel and a cube are their own images under the
// cube's rotations and reflections, and so must be their flags; a cube of
// 10 voxels keeps its flat faces: the full middle cross-section, less only
// what the smoothing rounds at the edges.
TEST(SmoothSamplingSymmetry, CentredBallAndCubeKeepTheCubesSymmetry) {
  for (const bool cube : {false, true}) {
    SCOPED_TRACE(cube ? "cube" : "ball");
    testing::SyntheticStack stack(30, 30, 30);
    if (cube)
      stack.add("cube", [](double x, double y, double z) { return std::abs(x - 14.5) < 5 && std::abs(y - 14.5) < 5 && std::abs(z - 14.5) < 5; });
    else
      stack.add("ball", testing::ball({15, 15, 15}, 6));
    const Labelled l = label(stack);
    ASSERT_EQ(l.pores.size(), 1u);
    for (std::int32_t M : {16, 21}) {
      const image::PoreGrid g = image::smooth_pore_grid(l.labels, l.pores[0], M, {});
      std::size_t asymmetric = 0;
      for (std::int32_t k = 0; k <= M; ++k)
        for (std::int32_t j = 0; j <= M; ++j)
          for (std::int32_t i = 0; i <= M; ++i) {
            const std::int32_t f = g.flags[g.index(i, j, k)];
            asymmetric += f != g.flags[g.index(j, k, i)];          // turned about the diagonal
            asymmetric += f != g.flags[g.index(M - i, j, k)];      // mirrored in x
            asymmetric += f != g.flags[g.index(i, M - k, j)];      // turned 90 degrees about x
          }
      EXPECT_EQ(asymmetric, 0u) << "M = " << M;
      if (cube) {
        // The middle cross-section z = 0: a square of side 2 (the cube spans
        // the grid), corners rounded by about sigma = 0.07 of the side.
        std::size_t middle = 0;
        for (std::int32_t j = 0; j <= M; ++j)
          for (std::int32_t i = 0; i <= M; ++i) middle += g.flags[g.index(i, j, M / 2)] == 1;
        const double square = static_cast<double>((M + 1) * (M + 1));
        EXPECT_GT(middle / square, 0.85) << "M = " << M;
        EXPECT_LE(middle / square, 1.0);
      }
    }
  }
}

TEST(SmoothSamplingWords, NamesReadBackAndOthersAreRefused) {
  for (image::PoreSampling s : {image::PoreSampling::nearest, image::PoreSampling::smooth})
    EXPECT_EQ(image::parse_sampling(image::sampling_name(s)), s);
  EXPECT_THROW(image::parse_sampling("trilinear"), image::ImageError);
  EXPECT_THROW(image::smooth_pore(image::Mask{2, 1, 1, {1, 1}}, -1), image::ImageError);
}

}  // namespace
}  // namespace csolver
