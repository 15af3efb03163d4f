// The solvers' FFT operators against the same operators written as direct
// sums over node pairs, on tiny boxes with perturbed coordinates and a flag
// other than 0 and 1.
#include "kernels/volume_kernel.h"
#include "solver/crack_solver.h"
#include "solver/inhomogeneity_solver.h"
#include "support/problems.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <string>

namespace csolver {
namespace {

using testing::make_setup;

Box perturbed_box(const ProblemSetup& setup, int nx, int ny, int nz, std::mt19937& random) {
  std::uniform_real_distribution<double> jitter(-0.05, 0.05);
  Box box;
  box.bounds = BoxBounds{0, 0, 0, nx, ny, nz};
  const bool stiff = setup.formulation == Formulation::stiffness;
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        box.box_x.push_back(i * setup.h + jitter(random) * setup.h);
        box.box_y.push_back(j * setup.h + jitter(random) * setup.h);
        box.box_z.push_back(k * setup.h + jitter(random) * setup.h);
        const int flag = (i + j + k) % 4 == 3 ? 0 : ((i + 2 * j + k) % 5 == 0 ? 2 : 1);
        box.box_flag.push_back(flag);
        box.box_coef_vol.push_back(flag == 1 ? (stiff ? setup.dC_vol : setup.dS_vol) : 0.0);
        box.box_coef_shear.push_back(flag == 1 ? (stiff ? setup.dC_shear : setup.dS_shear) : 0.0);
      }
  return box;
}

// The stored 6x6 kernel of an offset, built from the pair of box nodes the
// kernel stage takes for it; negative offsets share the values of their mirror.
Matrix6 stored_kernel(const ProblemSetup& setup, const Box& box, int p, int q, int r) {
  if (p < 0 || (p == 0 && (q < 0 || (q == 0 && r < 0)))) return stored_kernel(setup, box, -p, -q, -r);
  const BoxBounds& b = box.bounds;
  auto node = [&](int i, int j, int k) { return static_cast<std::size_t>(i + b.nx * (j + b.ny * k)); };
  double t = 0;
  std::array<double, 3> u{0, 0, 0};
  if (p != 0 || q != 0 || r != 0) {
    const std::size_t a = node(std::max(p, 0), std::max(q, 0), std::max(r, 0));
    const std::size_t c = node(std::max(-p, 0), std::max(-q, 0), std::max(-r, 0));
    const double d[3] = {box.box_x[a] - box.box_x[c], box.box_y[a] - box.box_y[c], box.box_z[a] - box.box_z[c]};
    const double rho = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    t = rho / setup.h;
    for (int i = 0; i < 3; ++i) u[static_cast<std::size_t>(i)] = d[i] / (rho + setup.h * 9.999999747378752e-06);
  }
  const auto entries =
      volume_kernel_entries(volume_radial_functions(t, setup.h), u, setup.c_nu, setup.G0, setup.formulation);
  const double sign = setup.formulation == Formulation::stiffness ? -1 : 1;
  Matrix6 K;
  for (int a = 0; a < 6; ++a)
    for (int c = 0; c < 6; ++c) K(a, c) = sign * entries[static_cast<std::size_t>(packed_entry(a, c))];
  return K;
}

// The operator written out node by node with the kernel of every pair.
std::vector<double> direct_operator(const ProblemSetup& setup, const Box& box, const std::vector<double>& f) {
  const Vector6 W = (Vector6() << 1, 1, 1, 2, 2, 2).finished();
  const BoxBounds& b = box.bounds;
  std::vector<double> out(f.size());
  for (int k = 0; k < b.nz; ++k)
    for (int j = 0; j < b.ny; ++j)
      for (int i = 0; i < b.nx; ++i) {
        const std::size_t n = static_cast<std::size_t>(i + b.nx * (j + b.ny * k));
        Vector6 u = Vector6::Zero();
        for (int kk = 0; kk < b.nz; ++kk)
          for (int jj = 0; jj < b.ny; ++jj)
            for (int ii = 0; ii < b.nx; ++ii) {
              const std::size_t m = static_cast<std::size_t>(ii + b.nx * (jj + b.ny * kk));
              const Vector6 fm = Eigen::Map<const Vector6>(&f[6 * m]);
              const Vector6 weighted = W.cwiseProduct(fm);
              u += stored_kernel(setup, box, i - ii, j - jj, k - kk) * weighted;
            }
        const double tr = u(0) + u(1) + u(2);
        for (int c = 0; c < 6; ++c) {
          const double contrast = (c < 3 ? box.box_coef_vol[n] * tr : 0.0) + box.box_coef_shear[n] * u(c);
          out[6 * n + static_cast<std::size_t>(c)] = box.box_flag[n] * (f[6 * n + static_cast<std::size_t>(c)] - contrast);
        }
      }
  return out;
}

std::vector<double> random_values(std::size_t size, std::mt19937& random) {
  std::uniform_real_distribution<double> uniform(-1, 1);
  std::vector<double> f(size);
  for (double& v : f) v = uniform(random);
  return f;
}

double max_relative_difference(const std::vector<double>& a, const std::vector<double>& b) {
  double diff = 0, scale = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff = std::max(diff, std::abs(a[i] - b[i]));
    scale = std::max(scale, std::abs(b[i]));
  }
  return diff / scale;
}

std::vector<double> apply_volume(const ProblemSetup& setup, const Box& box, const std::vector<double>& f,
                                 const std::vector<AxisParities>& mirror) {
  const BoxBounds& b = box.bounds;
  PaddedConvolution conv({b.nx, b.ny, b.nz}, VOLUME_ENTRIES + 1, VOLUME_COMPONENTS, PlannerEffort::estimate, 0, mirror);
  build_volume_kernel(setup, box, conv);
  InhomogeneityOperator op(box, conv);
  std::vector<double> out(f.size());
  apply_operator(op, f, out);
  return out;
}

class VolumeOperator : public ::testing::TestWithParam<double> {};

TEST_P(VolumeOperator, EqualsTheDirectSumOverNodePairs) {
  const ProblemSetup setup = make_setup(1, 0.3, GetParam(), 0.25, 10);
  std::mt19937 random(11);
  const Box box = perturbed_box(setup, 3, 2, 3, random);
  // Perturbed coordinates: the mirrored offsets differ, so no octant.
  EXPECT_TRUE(volume_kernel_symmetry(setup.formulation, box).empty());
  const std::vector<double> f = random_values(6 * box.size(), random);
  const std::vector<double> out = apply_volume(setup, box, f, {});
  const std::vector<double> expected = direct_operator(setup, box, f);
  for (std::size_t i = 0; i < f.size(); ++i)
    EXPECT_NEAR(out[i], expected[i], 1e-12 * (1 + std::abs(expected[i]))) << "value " << i;
}

// On a regular grid (odd and even extents, one of them 1) each entry is
// exactly even or odd along every axis: the octant of the kernel spectra
// gives the half spectrum's operator up to rounding, and both the direct sum.
TEST_P(VolumeOperator, OctantEqualsHalfSpectrumOnRegularGrids) {
  const ProblemSetup setup = make_setup(1, 0.3, GetParam(), 0.25, 10);
  std::mt19937 random(12);
  for (const std::array<int, 3>& extent : {std::array<int, 3>{4, 3, 5}, std::array<int, 3>{6, 6, 6},
                                           std::array<int, 3>{5, 1, 2}}) {
    SCOPED_TRACE(std::to_string(extent[0]) + "x" + std::to_string(extent[1]) + "x" + std::to_string(extent[2]));
    Box box = perturbed_box(setup, extent[0], extent[1], extent[2], random);
    // The program's grid, -1 + i h, offset by the box's corner.
    for (std::size_t n = 0; n < box.size(); ++n) {
      const std::size_t i = n % static_cast<std::size_t>(extent[0]);
      const std::size_t j = n / static_cast<std::size_t>(extent[0]) % static_cast<std::size_t>(extent[1]);
      const std::size_t k = n / static_cast<std::size_t>(extent[0] * extent[1]);
      box.box_x[n] = -1 + static_cast<double>(3 + i) * setup.h;
      box.box_y[n] = -1 + static_cast<double>(2 + j) * setup.h;
      box.box_z[n] = -1 + static_cast<double>(5 + k) * setup.h;
    }
    const std::vector<AxisParities> mirror = volume_kernel_symmetry(setup.formulation, box);
    ASSERT_EQ(mirror.size(), static_cast<std::size_t>(VOLUME_ENTRIES + 1));
    const std::vector<double> f = random_values(6 * box.size(), random);
    const std::vector<double> octant = apply_volume(setup, box, f, mirror);
    const std::vector<double> half = apply_volume(setup, box, f, {});
    EXPECT_LT(max_relative_difference(octant, half), 1e-13);
    if (box.size() <= 60) {
      EXPECT_LT(max_relative_difference(octant, direct_operator(setup, box, f)), 1e-13);
    }
  }
}

// E1 = 10: stiffness formulation; E1 = 0.1: compliance.
INSTANTIATE_TEST_SUITE_P(BothFormulations, VolumeOperator, ::testing::Values(10.0, 0.1));

TEST(CrackOperator, EqualsTheDirectSumOverNodePairs) {
  const ProblemSetup setup = make_setup(1, 0.3, 1, 0.3, 10, 1e-6, 0);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> jitter(-0.03, 0.03), uniform(-1, 1);
  CrackGrid grid;
  const int nx = 4, ny = 3;
  grid.bounds = BoxBounds{0, 0, 0, nx, ny, 1};
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      grid.crack_x.push_back((i + jitter(random)) * setup.h);
      grid.crack_y.push_back((j + jitter(random)) * setup.h);
      grid.crack_mask.push_back(i == 3 && j == 0 ? 0 : (i == 1 && j == 2 ? 2 : 1));
    }
  EXPECT_TRUE(planar_kernel_symmetry(grid).empty());  // K12 on the axes is not odd
  PaddedConvolution conv({nx, ny}, PLANAR_KERNELS, CRACK_COMPONENTS, PlannerEffort::estimate);
  build_planar_kernel(setup, grid, PlanarKernel::specified, conv);
  CrackOperator op(grid, conv);
  std::vector<double> x(3 * grid.size()), y(3 * grid.size());
  for (double& v : x) v = uniform(random);
  apply_crack_operator(op, x, y);

  // Offsets of the first quadrant from the coordinates relative to node (0, 0);
  // the others by reflection, K12 odd under one reflection.
  auto kernel = [&](int m, int n) {
    const std::size_t at = static_cast<std::size_t>(std::abs(m) + nx * std::abs(n));
    PlanarKernelValues k = planar_kernel_values(grid.crack_x[at] - grid.crack_x[0], grid.crack_y[at] - grid.crack_y[0],
                                                setup.h, setup.G0, setup.c_nu, PlanarKernel::specified);
    if ((m < 0) != (n < 0) && m != 0 && n != 0) k.k12 = -k.k12;
    return k;
  };
  for (int j = 0; j < ny; ++j)
    for (int i = 0; i < nx; ++i) {
      double expected[3] = {0, 0, 0};
      for (int jj = 0; jj < ny; ++jj)
        for (int ii = 0; ii < nx; ++ii) {
          const PlanarKernelValues k = kernel(i - ii, j - jj);
          const double* xm = &x[3 * static_cast<std::size_t>(ii + nx * jj)];
          expected[0] += k.k11 * xm[0] + k.k12 * xm[1];
          expected[1] += k.k12 * xm[0] + k.k22 * xm[1];
          expected[2] += k.k33 * xm[2];
        }
      const std::size_t n = static_cast<std::size_t>(i + nx * j);
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(y[3 * n + static_cast<std::size_t>(c)], grid.crack_mask[n] * expected[c], 1e-12)
            << i << "," << j << " component " << c;
    }
}

// A regular crack grid: K12 vanishes on the axes, every kernel is exactly
// even or odd, and the quadrant of the spectra gives the half spectrum's
// operator up to rounding, for odd and even extents.
TEST(CrackOperator, QuadrantEqualsHalfSpectrumOnRegularGrids) {
  const ProblemSetup setup = make_setup(1, 0.3, 1, 0.3, 10, 1e-6, 0);
  std::mt19937 random(6);
  for (const std::array<int, 2>& extent : {std::array<int, 2>{5, 4}, std::array<int, 2>{8, 8}, std::array<int, 2>{1, 3}}) {
    CrackGrid grid;
    grid.bounds = BoxBounds{2, 3, 0, extent[0], extent[1], 1};
    for (int j = 0; j < extent[1]; ++j)
      for (int i = 0; i < extent[0]; ++i) {
        grid.crack_x.push_back(-1 + (2 + i) * setup.h);
        grid.crack_y.push_back(-1 + (3 + j) * setup.h);
        grid.crack_mask.push_back((i + j) % 3 == 2 ? 0 : 1);
      }
    const std::vector<AxisParities> mirror = planar_kernel_symmetry(grid);
    ASSERT_EQ(mirror.size(), static_cast<std::size_t>(PLANAR_KERNELS));
    const std::vector<double> x = random_values(3 * grid.size(), random);
    for (PlanarKernel kernel : {PlanarKernel::specified, PlanarKernel::exact}) {
      std::vector<double> out[2];
      for (int octant = 0; octant < 2; ++octant) {
        PaddedConvolution conv({extent[0], extent[1]}, PLANAR_KERNELS, CRACK_COMPONENTS, PlannerEffort::estimate, 0,
                               octant ? mirror : std::vector<AxisParities>{});
        EXPECT_EQ(conv.layout(), octant ? SpectrumLayout::octant : SpectrumLayout::half_spectrum);
        build_planar_kernel(setup, grid, kernel, conv);
        CrackOperator op(grid, conv);
        out[octant].resize(x.size());
        apply_crack_operator(op, x, out[octant]);
      }
      EXPECT_LT(max_relative_difference(out[1], out[0]), 1e-13)
          << extent[0] << "x" << extent[1] << (kernel == PlanarKernel::exact ? " exact" : " specified");
    }
  }
}

}  // namespace
}  // namespace csolver
