// The conduction solvers' FFT operators against direct sums over node pairs
// on tiny boxes, in both spectrum layouts and both formulations.
#include "solver/conductivity_solver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace csolver {
namespace {

constexpr double H = 0.2;

Box regular_box(int nx, int ny, int nz, bool perturbed, std::mt19937& random) {
  std::uniform_real_distribution<double> jitter(-0.05 * H, 0.05 * H);
  Box box;
  box.bounds = BoxBounds{0, 0, 0, nx, ny, nz};
  for (int k = 0; k < nz; ++k)
    for (int j = 0; j < ny; ++j)
      for (int i = 0; i < nx; ++i) {
        box.box_x.push_back(-1 + (2 + i) * H + (perturbed ? jitter(random) : 0.0));
        box.box_y.push_back(-1 + (1 + j) * H + (perturbed ? jitter(random) : 0.0));
        box.box_z.push_back(-1 + (3 + k) * H + (perturbed ? jitter(random) : 0.0));
        box.box_flag.push_back((i + j + k) % 4 == 3 ? 0 : ((i + 2 * j + k) % 5 == 0 ? 2 : 1));
      }
  return box;
}

std::vector<double> random_values(std::size_t n, std::mt19937& random) {
  std::uniform_real_distribution<double> value(-1, 1);
  std::vector<double> v(n);
  for (double& x : v) x = value(random);
  return v;
}

// The kernel of the offset (p, q, r) as the kernel stage takes it: from the
// pair of box nodes that spans it, first non-zero component positive (the
// kernel is even under d -> -d).
std::array<double, CONDUCTIVITY_ENTRIES> offset_kernel(const Box& box, int p, int q, int r,
                                                       ConductivityFormulation formulation) {
  if (p < 0 || (p == 0 && (q < 0 || (q == 0 && r < 0)))) return offset_kernel(box, -p, -q, -r, formulation);
  const BoxBounds& b = box.bounds;
  auto node = [&](int i, int j, int k) { return static_cast<std::size_t>(i + b.nx * (j + b.ny * k)); };
  const std::size_t a = node(std::max(p, 0), std::max(q, 0), std::max(r, 0));
  const std::size_t c = node(std::max(-p, 0), std::max(-q, 0), std::max(-r, 0));
  const double d[3] = {box.box_x[a] - box.box_x[c], box.box_y[a] - box.box_y[c], box.box_z[a] - box.box_z[c]};
  const double rho = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  std::array<double, 3> u{};
  if (rho > 0)
    for (int k = 0; k < 3; ++k) u[static_cast<std::size_t>(k)] = d[k] / rho;
  return conductivity_kernel_entries(volume_radial_functions(rho / H, H), u, formulation);
}

// A(x)_i = [flag_i == 1] (x_i - c sum_n K(i - n) x_n).
std::vector<double> direct_operator(const Box& box, double c, ConductivityFormulation formulation,
                                    const std::vector<double>& x) {
  const BoxBounds& b = box.bounds;
  std::vector<double> out(x.size(), 0.0);
  for (std::size_t i = 0; i < box.size(); ++i) {
    if (box.box_flag[i] != 1) continue;
    const int ix = static_cast<int>(i) % b.nx, iy = static_cast<int>(i) / b.nx % b.ny, iz = static_cast<int>(i) / (b.nx * b.ny);
    std::array<double, 3> sum{};
    for (std::size_t n = 0; n < box.size(); ++n) {
      const int nx = static_cast<int>(n) % b.nx, ny = static_cast<int>(n) / b.nx % b.ny, nz = static_cast<int>(n) / (b.nx * b.ny);
      const auto k = offset_kernel(box, ix - nx, iy - ny, iz - nz, formulation);
      for (int a = 0; a < 3; ++a)
        for (int e = 0; e < 3; ++e)
          sum[static_cast<std::size_t>(a)] += k[static_cast<std::size_t>(conductivity_entry(a, e))] * x[3 * n + static_cast<std::size_t>(e)];
    }
    for (std::size_t a = 0; a < 3; ++a) out[3 * i + a] = x[3 * i + a] - c * sum[a];
  }
  return out;
}

double max_relative_difference(const std::vector<double>& a, const std::vector<double>& b) {
  double diff = 0, scale = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    diff = std::max(diff, std::abs(a[i] - b[i]));
    scale = std::max(scale, std::abs(b[i]));
  }
  return diff / scale;
}

struct OperatorCase {
  ConductivityFormulation formulation;
  double contrast;
  bool perturbed;  // coordinates off the regular grid: half spectrum
};

class ConductivityOperatorTest : public ::testing::TestWithParam<OperatorCase> {};

TEST_P(ConductivityOperatorTest, EqualsTheDirectSumOverNodePairs) {
  const OperatorCase p = GetParam();
  std::mt19937 random(17);
  for (const std::array<int, 3>& e : {std::array<int, 3>{4, 3, 5}, std::array<int, 3>{5, 1, 2}}) {
    const Box box = regular_box(e[0], e[1], e[2], p.perturbed, random);
    std::vector<AxisParities> mirror;
    if (separable_coordinates(box)) mirror = conductivity_kernel_parities();
    EXPECT_EQ(mirror.empty(), p.perturbed);
    PaddedConvolution conv({e[0], e[1], e[2]}, CONDUCTIVITY_ENTRIES + 1, CONDUCTIVITY_COMPONENTS,
                           PlannerEffort::estimate, 0, mirror);
    build_conductivity_kernel(box, H, p.formulation, conv);
    ConductivityOperator op(box, p.contrast, conv);
    const std::vector<double> x = random_values(3 * box.size(), random);
    std::vector<double> out(x.size());
    apply_conductivity_operator(op, x, out);
    EXPECT_LT(max_relative_difference(out, direct_operator(box, p.contrast, p.formulation, x)), 1e-13);
  }
}

INSTANTIATE_TEST_SUITE_P(Layouts, ConductivityOperatorTest,
                         ::testing::Values(OperatorCase{ConductivityFormulation::field, -1.0, false},
                                           OperatorCase{ConductivityFormulation::flux, 1.0, false},
                                           OperatorCase{ConductivityFormulation::field, 9.0, true},
                                           OperatorCase{ConductivityFormulation::flux, 0.9, true}));

TEST(CrackFluxOperator, KernelConvolutionEqualsTheDirectSum) {
  std::mt19937 random(23);
  const double k0 = 2.5;
  for (bool perturbed : {false, true}) {
    std::uniform_real_distribution<double> jitter(-0.05 * H, 0.05 * H);
    CrackGrid grid;
    grid.bounds = BoxBounds{0, 0, 0, 5, 4, 1};
    for (int j = 0; j < 4; ++j)
      for (int i = 0; i < 5; ++i) {
        grid.crack_x.push_back(i * H + (perturbed ? jitter(random) : 0.0));
        grid.crack_y.push_back(j * H + (perturbed ? jitter(random) : 0.0));
        grid.crack_mask.push_back(1);
      }
    const std::vector<AxisParities> mirror = crack_flux_symmetry(grid);
    EXPECT_EQ(mirror.empty(), perturbed);
    PaddedConvolution conv({5, 4}, CRACK_FLUX_KERNELS, 1, PlannerEffort::estimate, 0, mirror);
    build_crack_flux_kernel(grid, H, k0, conv);
    const std::vector<double> x = random_values(grid.size(), random);
    std::vector<double> out(x.size()), expected(x.size(), 0.0);
    conv.apply(diagonal_coupling(1, CRACK_FLUX), x, out);
    // The kernel of an offset is taken from the pair (0, offset) and mirrored,
    // as the kernel stage takes it.
    for (std::size_t i = 0; i < grid.size(); ++i)
      for (std::size_t n = 0; n < grid.size(); ++n) {
        const int m = std::abs(static_cast<int>(i % 5) - static_cast<int>(n % 5));
        const int q = std::abs(static_cast<int>(i / 5) - static_cast<int>(n / 5));
        const std::size_t at = static_cast<std::size_t>(m + 5 * q);
        expected[i] += crack_flux_values(grid.crack_x[at] - grid.crack_x[0], grid.crack_y[at] - grid.crack_y[0], H, k0).flux * x[n];
      }
    EXPECT_LT(max_relative_difference(out, expected), 1e-13) << (perturbed ? "perturbed" : "regular");
  }
}

}  // namespace
}  // namespace csolver
