// Pores of a 3-D image: labelling against a flood fill, region properties
// against direct sums, the equivalent ellipsoid against boxes and tilted
// ellipsoids of known axes, and a synthetic population read back from TIFF.
#include "tools/images/pore_stack.h"
#include "support/scratch.h"

#include "images/pore_properties.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>

namespace csolver {
namespace {

using image::Connectivity;
using testing::ScratchDir;
using testing::Voxel;

// Reference labelling: a flood fill from each unlabelled inside voxel in
// raster order, with an explicit stack. Slow and obvious.
std::vector<std::uint32_t> flood_fill_labels(const image::Mask& m, Connectivity c, std::uint32_t& count) {
  std::vector<std::uint32_t> label(m.inside.size(), 0);
  count = 0;
  std::vector<Voxel> stack;
  auto index = [&m](std::int32_t x, std::int32_t y, std::int32_t z) {
    return static_cast<std::size_t>(x) + static_cast<std::size_t>(m.nx) * (static_cast<std::size_t>(y) + static_cast<std::size_t>(m.ny) * z);
  };
  for (std::int32_t z = 0; z < m.nz; ++z)
    for (std::int32_t y = 0; y < m.ny; ++y)
      for (std::int32_t x = 0; x < m.nx; ++x) {
        if (!m.inside[index(x, y, z)] || label[index(x, y, z)]) continue;
        label[index(x, y, z)] = ++count;
        stack.push_back({x, y, z});
        while (!stack.empty()) {
          const Voxel v = stack.back();
          stack.pop_back();
          for (std::int32_t dz = -1; dz <= 1; ++dz)
            for (std::int32_t dy = -1; dy <= 1; ++dy)
              for (std::int32_t dx = -1; dx <= 1; ++dx) {
                const int steps = (dx != 0) + (dy != 0) + (dz != 0);
                if (steps == 0 || (c == Connectivity::six && steps > 1)) continue;
                const std::int32_t u = v[0] + dx, w = v[1] + dy, t = v[2] + dz;
                if (u < 0 || w < 0 || t < 0 || u >= m.nx || w >= m.ny || t >= m.nz) continue;
                const std::size_t n = index(u, w, t);
                if (m.inside[n] && !label[n]) {
                  label[n] = count;
                  stack.push_back({u, w, t});
                }
              }
        }
      }
  return label;
}

image::Mask random_mask(std::int32_t nx, std::int32_t ny, std::int32_t nz, double density, unsigned seed) {
  std::mt19937 random(seed);
  std::bernoulli_distribution inside(density);
  image::Mask m{nx, ny, nz, {}};
  m.inside.resize(static_cast<std::size_t>(nx) * ny * nz);
  for (auto& v : m.inside) v = inside(random) ? 1 : 0;
  return m;
}

struct RandomCase {
  const char* name;
  std::int32_t nx, ny, nz;
  double density;
};
void PrintTo(const RandomCase& c, std::ostream* os) { *os << c.name; }

class RandomImage : public ::testing::TestWithParam<RandomCase> {};

// Near the percolation thresholds (about 0.31 for faces, 0.10 with corners)
// clusters branch and merge late, which is where union-find goes wrong.
TEST_P(RandomImage, LabelsEqualAFloodFillForBothConnectivities) {
  const RandomCase& c = GetParam();
  const image::Mask m = random_mask(c.nx, c.ny, c.nz, c.density, 17);
  for (Connectivity connectivity : {Connectivity::six, Connectivity::twenty_six}) {
    std::uint32_t expected_count = 0;
    const std::vector<std::uint32_t> expected = flood_fill_labels(m, connectivity, expected_count);
    const image::Labels labels = image::label_pores(m, connectivity);
    EXPECT_EQ(labels.count, expected_count) << static_cast<int>(connectivity);
    EXPECT_TRUE(labels.label == expected) << static_cast<int>(connectivity);
    EXPECT_EQ(labels.connectivity, connectivity);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, RandomImage,
                         ::testing::Values(RandomCase{"sparse", 23, 19, 17, 0.1}, RandomCase{"faces_threshold", 23, 19, 17, 0.3},
                                           RandomCase{"dense", 23, 19, 17, 0.6}, RandomCase{"row", 60, 1, 1, 0.5},
                                           RandomCase{"column", 1, 1, 70, 0.5}, RandomCase{"slice_yz", 1, 25, 30, 0.35},
                                           RandomCase{"single_page", 40, 30, 1, 0.4}, RandomCase{"full", 6, 5, 4, 1.0},
                                           RandomCase{"empty", 6, 5, 4, 0.0}, RandomCase{"one_voxel", 1, 1, 1, 1.0}),
                         [](const ::testing::TestParamInfo<RandomCase>& info) { return std::string(info.param.name); });

// Two voxels that share a face, an edge or a corner, in every direction the
// first pass looks back along, and one with a gap.
TEST(Connectivity, DiagonalNeighboursJoinOnlyWithTwentySix) {
  struct PairCase {
    const char* name;
    Voxel a, b;
    std::uint32_t six, twenty_six;
  };
  const PairCase cases[] = {
      {"face x", {1, 1, 1}, {2, 1, 1}, 1, 1},         {"face z", {1, 1, 1}, {1, 1, 2}, 1, 1},
      {"edge xy", {1, 1, 1}, {2, 2, 1}, 2, 1},        {"edge -x y", {2, 1, 1}, {1, 2, 1}, 2, 1},
      {"edge yz", {1, 1, 1}, {1, 2, 2}, 2, 1},        {"edge -y z", {1, 2, 1}, {1, 1, 2}, 2, 1},
      {"corner", {1, 1, 1}, {2, 2, 2}, 2, 1},         {"corner -x", {2, 1, 1}, {1, 2, 2}, 2, 1},
      {"corner -y", {1, 2, 1}, {2, 1, 2}, 2, 1},      {"corner -x -y", {2, 2, 1}, {1, 1, 2}, 2, 1},
      {"gap of one voxel", {1, 1, 1}, {3, 1, 1}, 2, 2}, {"gap across slices", {1, 1, 0}, {2, 2, 2}, 2, 2},
  };
  for (const PairCase& c : cases) {
    image::Mask m{4, 4, 4, std::vector<std::uint8_t>(64, 0)};
    for (const Voxel& v : {c.a, c.b}) m.inside[static_cast<std::size_t>(v[0] + 4 * (v[1] + 4 * v[2]))] = 1;
    const image::Labels six = image::label_pores(m, Connectivity::six);
    const image::Labels corners = image::label_pores(m, Connectivity::twenty_six);
    EXPECT_EQ(six.count, c.six) << c.name;
    EXPECT_EQ(corners.count, c.twenty_six) << c.name;
    // The voxel first in raster order carries label 1.
    const Voxel& first = c.a[0] + 4 * (c.a[1] + 4 * c.a[2]) < c.b[0] + 4 * (c.b[1] + 4 * c.b[2]) ? c.a : c.b;
    EXPECT_EQ(six.at(first[0], first[1], first[2]), 1u) << c.name;
  }
}

// pore_properties sums runs in closed form; here every voxel is visited.
TEST(PoreProperties, EqualDirectSumsOverVoxelsWithAnisotropicVoxels) {
  const image::Mask m = random_mask(31, 27, 22, 0.28, 5);
  const image::Labels labels = image::label_pores(m, Connectivity::six);
  const image::Vector3 s{0.7, 1.3, 2.1};
  const std::vector<image::PoreProperties> pores = image::pore_properties(labels, s);
  ASSERT_EQ(pores.size(), labels.count);
  ASSERT_GT(labels.count, 100u);
  struct Direct {
    std::int64_t n = 0;
    std::array<std::int64_t, 3> sum{};
    std::array<std::int32_t, 3> lo{1 << 30, 1 << 30, 1 << 30}, hi{-1, -1, -1};
    std::vector<Voxel> voxels;
  };
  std::vector<Direct> direct(labels.count + 1);
  for (std::int32_t z = 0; z < m.nz; ++z)
    for (std::int32_t y = 0; y < m.ny; ++y)
      for (std::int32_t x = 0; x < m.nx; ++x) {
        const std::uint32_t l = labels.at(x, y, z);
        if (!l) continue;
        Direct& d = direct[l];
        const Voxel v{x, y, z};
        ++d.n;
        d.voxels.push_back(v);
        for (std::size_t a = 0; a < 3; ++a) {
          d.sum[a] += v[a];
          d.lo[a] = std::min(d.lo[a], v[a]);
          d.hi[a] = std::max(d.hi[a], v[a]);
        }
      }
  const std::array<std::int32_t, 3> n{m.nx, m.ny, m.nz};
  for (const image::PoreProperties& p : pores) {
    const Direct& d = direct[p.label];
    ASSERT_EQ(p.voxels, d.n) << p.label;
    EXPECT_DOUBLE_EQ(p.volume, static_cast<double>(d.n) * s[0] * s[1] * s[2]);
    EXPECT_DOUBLE_EQ(p.volume_fraction, static_cast<double>(d.n) / (31.0 * 27 * 22));
    bool border = false;
    image::Matrix3 covariance{};
    for (std::size_t a = 0; a < 3; ++a) {
      EXPECT_EQ(p.centroid[a], static_cast<double>(d.sum[a]) / static_cast<double>(d.n)) << p.label;
      EXPECT_EQ(p.box_begin[a], d.lo[a]);
      EXPECT_EQ(p.box_end[a], d.hi[a] + 1);
      border = border || d.lo[a] == 0 || d.hi[a] == n[a] - 1;
    }
    EXPECT_EQ(p.touches_border, border) << p.label;
    // Two-pass covariance of the voxel boxes in physical units.
    for (const Voxel& v : d.voxels)
      for (std::size_t a = 0; a < 3; ++a)
        for (std::size_t b = 0; b < 3; ++b)
          covariance[a][b] += (v[a] - p.centroid[a]) * s[a] * (v[b] - p.centroid[b]) * s[b] / static_cast<double>(d.n);
    for (std::size_t a = 0; a < 3; ++a)
      for (std::size_t b = 0; b < 3; ++b) {
        const double expected = covariance[a][b] + (a == b ? s[a] * s[a] / 12 : 0.0);
        // Double rounding of sums over at most a few thousand voxels.
        EXPECT_NEAR(p.second_moments[a][b], expected, 1e-10 * (1 + std::abs(expected))) << p.label << " " << a << b;
      }
  }
}

// A box of a x b x c voxels is a solid box of sides L = (a sx, b sy, c sz):
// covariance L^2 / 12 exactly, semi-axes sqrt(5/12) L, directions the axes.
TEST(EquivalentEllipsoid, OfAVoxelBoxIsExactAndRightHanded) {
  image::Mask m{9, 8, 7, std::vector<std::uint8_t>(9 * 8 * 7, 0)};
  for (std::int32_t z = 2; z < 5; ++z)
    for (std::int32_t y = 1; y < 5; ++y)
      for (std::int32_t x = 2; x < 8; ++x) m.inside[static_cast<std::size_t>(x + 9 * (y + 8 * z))] = 1;
  const image::Vector3 s{0.5, 1, 2.5};  // sides 3, 4, 7.5
  const std::vector<image::PoreProperties> pores = image::pore_properties(image::label_pores(m), s);
  ASSERT_EQ(pores.size(), 1u);
  const image::PoreProperties& p = pores[0];
  const double sides[3] = {3, 4, 7.5};
  for (std::size_t a = 0; a < 3; ++a)
    for (std::size_t b = 0; b < 3; ++b)
      EXPECT_NEAR(p.second_moments[a][b], a == b ? sides[a] * sides[a] / 12 : 0.0, 1e-12);
  const double k = std::sqrt(5.0 / 12);
  EXPECT_NEAR(p.ellipsoid.semi_axes[0], k * 7.5, 1e-12);
  EXPECT_NEAR(p.ellipsoid.semi_axes[1], k * 4, 1e-12);
  EXPECT_NEAR(p.ellipsoid.semi_axes[2], k * 3, 1e-12);
  // Longest along z, then y; the largest component positive; the third
  // completes a right-handed frame: z x y = -x.
  const image::Matrix3 expected{{{0, 0, 1}, {0, 1, 0}, {-1, 0, 0}}};
  for (std::size_t i = 0; i < 3; ++i)
    for (std::size_t a = 0; a < 3; ++a) EXPECT_NEAR(p.ellipsoid.directions[i][a], expected[i][a], 1e-12) << i << a;
  EXPECT_EQ(p.centroid, (image::Vector3{4.5, 2.5, 3}));
  EXPECT_EQ(p.box_begin, (std::array<std::int32_t, 3>{2, 1, 2}));
  EXPECT_EQ(p.box_end, (std::array<std::int32_t, 3>{8, 5, 5}));
  EXPECT_FALSE(p.touches_border);
}

struct EllipsoidCase {
  const char* name;
  image::Vector3 voxel_size;
  image::Vector3 semi_axes;  // physical, descending
  double beta, gamma;        // about y, then about z (degrees)
};
void PrintTo(const EllipsoidCase& c, std::ostream* os) { *os << c.name; }

class RasterizedEllipsoid : public ::testing::TestWithParam<EllipsoidCase> {};

// The voxels of a tilted ellipsoid give back its axes to within a voxel and
// its directions to within a few degrees (the staircase surface is the error).
TEST_P(RasterizedEllipsoid, GivesItsAxesAndDirections) {
  const EllipsoidCase& c = GetParam();
  const auto turn = testing::turn_y_then_z(c.beta, c.gamma);
  std::array<std::int32_t, 3> n{};
  image::Vector3 centre{};
  for (std::size_t a = 0; a < 3; ++a) {
    n[a] = static_cast<std::int32_t>(std::ceil(2.4 * c.semi_axes[0] / c.voxel_size[a]));
    centre[a] = 0.5 * (n[a] - 1) * c.voxel_size[a] + 0.3 * c.voxel_size[a];  // off the voxel lattice
  }
  testing::SyntheticStack stack(n[0], n[1], n[2], c.voxel_size);
  stack.add("ellipsoid", testing::ellipsoid(centre, c.semi_axes, turn));
  const std::vector<image::PoreProperties> pores = image::pore_properties(image::label_pores(stack.mask()), c.voxel_size);
  ASSERT_EQ(pores.size(), 1u);
  const image::EquivalentEllipsoid& e = pores[0].ellipsoid;
  const double voxel = *std::max_element(c.voxel_size.begin(), c.voxel_size.end());
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_NEAR(e.semi_axes[i], c.semi_axes[i], voxel) << "axis " << i;
    const image::Vector3 truth{turn[0][i], turn[1][i], turn[2][i]};
    double dot = 0, largest = 0;
    for (std::size_t a = 0; a < 3; ++a) {
      dot += truth[a] * e.directions[i][a];
      if (std::abs(e.directions[i][a]) > std::abs(largest)) largest = e.directions[i][a];
    }
    EXPECT_LT(std::acos(std::min(1.0, std::abs(dot))) * 180 / std::numbers::pi, 3.0) << "axis " << i;
    if (i < 2) {
      EXPECT_GT(largest, 0) << "axis " << i;
    }
  }
  // And the centroid is the ellipsoid's centre, in voxel coordinates.
  for (std::size_t a = 0; a < 3; ++a) EXPECT_NEAR(pores[0].centroid[a] * c.voxel_size[a], centre[a], 0.1 * c.voxel_size[a]);
}

INSTANTIATE_TEST_SUITE_P(Cases, RasterizedEllipsoid,
                         ::testing::Values(EllipsoidCase{"unit_voxels", {1, 1, 1}, {14, 7, 4}, 30, 40},
                                           EllipsoidCase{"flat_voxels", {0.5, 0.5, 1}, {9, 5, 2.5}, -35, 25},
                                           EllipsoidCase{"prolate_steep", {1, 1, 1}, {16, 6, 5}, 70, -20}),
                         [](const ::testing::TestParamInfo<EllipsoidCase>& info) { return std::string(info.param.name); });

void expect_same_selection(const image::FilteredPores& selected, const image::FilteredPores& filtered) {
  EXPECT_EQ(selected.dropped_small, filtered.dropped_small);
  EXPECT_EQ(selected.dropped_border, filtered.dropped_border);
  ASSERT_EQ(selected.kept.size(), filtered.kept.size());
  for (std::size_t k = 0; k < selected.kept.size(); ++k) {
    const image::PoreProperties &a = selected.kept[k], &b = filtered.kept[k];
    EXPECT_EQ(a.label, b.label);
    EXPECT_EQ(a.voxels, b.voxels);
    EXPECT_EQ(a.centroid, b.centroid);
    EXPECT_EQ(a.box_begin, b.box_begin);
    EXPECT_EQ(a.box_end, b.box_end);
    EXPECT_EQ(a.second_moments, b.second_moments);
    EXPECT_EQ(a.ellipsoid.semi_axes, b.ellipsoid.semi_axes);
  }
}

// The population written as a TIFF stack and read back: every pore's count,
// centroid and box are those of its voxel list, in raster order of first voxels.
TEST(PorePopulation, FromTiffStackMatchesTheConstruction) {
  ScratchDir dir("pore_population");
  const testing::SyntheticStack stack = testing::population_stack();
  stack.write_tiff(dir.path() / "pores.tif");
  const image::Mask mask = image::read_tiff_stack(dir.path() / "pores.tif", {image::Selection::Kind::threshold, 128, false});
  const image::Labels labels = image::label_pores(mask, Connectivity::twenty_six);
  const std::vector<image::PoreProperties> pores = image::pore_properties(labels, {1, 1, 1});
  const std::vector<testing::SyntheticPore> expected = stack.pores();
  ASSERT_EQ(pores.size(), expected.size());
  for (std::size_t p = 0; p < pores.size(); ++p) {
    const testing::SyntheticPore& e = expected[p];
    EXPECT_EQ(pores[p].label, p + 1);
    EXPECT_EQ(pores[p].voxels, static_cast<std::int64_t>(e.voxels.size())) << e.name;
    std::array<std::int64_t, 3> sum{};
    std::array<std::int32_t, 3> lo{stack.nx, stack.ny, stack.nz}, hi{-1, -1, -1};
    for (const Voxel& v : e.voxels)
      for (std::size_t a = 0; a < 3; ++a) {
        sum[a] += v[a];
        lo[a] = std::min(lo[a], v[a]);
        hi[a] = std::max(hi[a], v[a]);
        EXPECT_EQ(labels.at(v[0], v[1], v[2]), p + 1) << e.name;
      }
    for (std::size_t a = 0; a < 3; ++a) {
      EXPECT_EQ(pores[p].centroid[a], static_cast<double>(sum[a]) / static_cast<double>(e.voxels.size())) << e.name << " axis " << a;
      EXPECT_EQ(pores[p].box_begin[a], lo[a]) << e.name;
      EXPECT_EQ(pores[p].box_end[a], hi[a] + 1) << e.name;
    }
    EXPECT_EQ(pores[p].touches_border, e.name.find("x = 0") != std::string::npos || e.name.find("z = 47") != std::string::npos) << e.name;
  }
  // The tilted ellipsoid among the others, at its true axes.
  const testing::TiltedEllipsoid truth;
  for (std::size_t p = 0; p < pores.size(); ++p) {
    if (expected[p].name != "tilted ellipsoid") continue;
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(pores[p].ellipsoid.semi_axes[i], truth.semi_axes[i], 1.0);
  }

  // Filtering: the speck on the border counts as small, not as on the border.
  struct FilterCase {
    image::PoreFilter filter;
    std::size_t kept, small, border;
  };
  for (const FilterCase& f : {FilterCase{{}, 4, 2, 1}, FilterCase{{8, true}, 5, 2, 0}, FilterCase{{1, false}, 5, 0, 2},
                              FilterCase{{1, true}, 7, 0, 0}, FilterCase{{300, false}, 3, 4, 0}}) {
    const image::FilteredPores filtered = image::filter_pores(pores, f.filter);
    EXPECT_EQ(filtered.kept.size(), f.kept) << f.filter.min_voxels << " " << f.filter.keep_border;
    EXPECT_EQ(filtered.dropped_small, f.small) << f.filter.min_voxels << " " << f.filter.keep_border;
    EXPECT_EQ(filtered.dropped_border, f.border) << f.filter.min_voxels << " " << f.filter.keep_border;
    EXPECT_EQ(filtered.kept.size() + filtered.dropped_small + filtered.dropped_border, pores.size());
    for (std::size_t k = 1; k < filtered.kept.size(); ++k) EXPECT_LT(filtered.kept[k - 1].label, filtered.kept[k].label);
    expect_same_selection(image::select_pores(labels, {1, 1, 1}, f.filter), filtered);
  }
}

// A large image near the face percolation threshold against the flood fill;
// the time is printed for the record, not asserted.
TEST(PoreLabelling, LargeImageEqualsFloodFill) {
  const std::int32_t n = 160;  // bench_pore_labelling measures 1000 x 1000 x 500
  const image::Mask m = random_mask(n, n, n, 0.3, 99);
  const auto t0 = std::chrono::steady_clock::now();
  const image::Labels labels = image::label_pores(m, Connectivity::six);
  const auto t1 = std::chrono::steady_clock::now();
  const std::vector<image::PoreProperties> pores = image::pore_properties(labels, {1, 1, 1});
  const auto t2 = std::chrono::steady_clock::now();
  std::uint32_t expected_count = 0;
  const std::vector<std::uint32_t> expected = flood_fill_labels(m, Connectivity::six, expected_count);
  EXPECT_EQ(labels.count, expected_count);
  EXPECT_TRUE(labels.label == expected);
  std::int64_t voxels = 0;
  for (const image::PoreProperties& p : pores) voxels += p.voxels;
  EXPECT_EQ(voxels, std::count(m.inside.begin(), m.inside.end(), 1));
  const image::PoreFilter filter{8, false};
  const auto t3 = std::chrono::steady_clock::now();
  const image::FilteredPores selected = image::select_pores(labels, {1, 1, 1}, filter);
  const auto t4 = std::chrono::steady_clock::now();
  expect_same_selection(selected, image::filter_pores(pores, filter));
  EXPECT_GT(selected.dropped_small, selected.kept.size());  // noise: mostly specks
  std::printf("[ timing ] %d^3 voxels, %u pores: label_pores %.3f s, pore_properties %.3f s, select_pores %.3f s (wall clock)\n",
              n, labels.count, std::chrono::duration<double>(t1 - t0).count(), std::chrono::duration<double>(t2 - t1).count(),
              std::chrono::duration<double>(t4 - t3).count());
}

}  // namespace
}  // namespace csolver
