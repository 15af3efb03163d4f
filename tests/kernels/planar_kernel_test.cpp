#include "kernels/planar_kernel.h"

#include "kernels/special_functions.h"
#include "support/problems.h"

#include <gtest/gtest.h>

#include <cmath>

namespace csolver {
namespace {

using testing::make_setup;

TEST(PlanarKernel, ZeroOffsetValues) {
  const ProblemSetup setup = make_setup(1, 0.3, 1, 0.3, 20, 1e-6, 0);
  const PlanarKernelValues k = planar_kernel_values(0, 0, setup.h, setup.G0, setup.c_nu, PlanarKernel::specified);
  const double A = (2 / 10.026513238030574) / setup.h;
  const double B = (1 / 10.026513238030574) / setup.h;
  EXPECT_EQ(k.k12, 0.0);
  EXPECT_DOUBLE_EQ(k.k11, (setup.G0 / 2) * (A + (2 * setup.c_nu - 1) * B));
  EXPECT_EQ(k.k11, k.k22);
  EXPECT_DOUBLE_EQ(k.k33, setup.c_nu * setup.G0 * A);
  EXPECT_DOUBLE_EQ(k.gauss, 1 / TWO_PI_F);
}

// The asymptotic forms take over beyond rho = 5.9 without blending: a jump of
// a few per cent in A and about 0.1 % in B.
TEST(PlanarKernel, SwitchAtFivePointNineIsTakenWithoutBlending) {
  const double h = 0.1, G0 = 1, c_nu = 1;  // c_nu = 1: K33 = A, K11 - K22 = 0 on the diagonal
  const PlanarKernelValues below = planar_kernel_values(5.8999 * h, 0, h, G0, c_nu, PlanarKernel::specified);
  const PlanarKernelValues above = planar_kernel_values(5.9001 * h, 0, h, G0, c_nu, PlanarKernel::specified);
  const double jump_A = std::abs(above.k33 / below.k33 - 1);
  EXPECT_GT(jump_A, 0.01);
  EXPECT_LT(jump_A, 0.06);
  // Both forms decay like 1/rho^3 far out and agree there within the jump.
  const PlanarKernelValues far = planar_kernel_values(20 * h, 0, h, G0, c_nu, PlanarKernel::specified);
  EXPECT_LT(far.k33, 0);  // the traction of a far opening pulls the other way
}

TEST(PlanarKernel, FarFormMatchesItsClosedExpression) {
  const double h = 0.05, G0 = 0.7, c_nu = 0.7;
  const double rho = 8.0, z = rho * rho / 4;
  const double a = -((256 * z + 288) * z - 75) / (12867.96364696168 * std::pow(z, 3.5));
  const PlanarKernelValues k = planar_kernel_values(0, rho * h, h, G0, c_nu, PlanarKernel::specified);
  EXPECT_DOUBLE_EQ(k.k33, c_nu * G0 * (a / h));
}

// A uniform opening or sliding of the whole crack plane carries no traction.
// With the exact radial functions the kernel's sums over a disc of R nodes
// keep only the missing far tail, of order 1/R: sum K33 = c_nu G0 sum a / h
// and sum K11 = (G0/2)(c_nu + 1/2) sum a / h, with R sum a -> 1. b drops out
// of the sliding because b(0) = a(0)/2 and the disc averages ux^2 to 1/2.
TEST(PlanarKernel, ExactKernelCarriesNoTractionUnderUniformOpeningOrSliding) {
  const double h = 0.05, G0 = 0.7, c_nu = 0.8;
  const int R = 40;
  double k11 = 0, k12 = 0, k22 = 0, k33 = 0;
  for (int m = -R; m <= R; ++m)
    for (int n = -R; n <= R; ++n)
      if (m * m + n * n <= R * R) {
        const PlanarKernelValues k = planar_kernel_values(m * h, n * h, h, G0, c_nu, PlanarKernel::exact);
        k11 += k.k11;
        k12 += k.k12;
        k22 += k.k22;
        k33 += k.k33;
      }
  EXPECT_NEAR(R * h * k33 / (c_nu * G0), 1.0, 0.01);
  EXPECT_NEAR(R * h * k11 / ((G0 / 2) * (c_nu + 0.5)), 1.0, 0.01);
  EXPECT_NEAR(k22, k11, 1e-12 * std::abs(k11));
  EXPECT_NEAR(k12, 0.0, 1e-12 * std::abs(k11));
}

// A perturbed 3 x 2 sub-grid: the mirror rule must store K12 even under
// d -> -d and odd under a single in-plane reflection.
TEST(PlanarKernel, MirrorRuleOfTheShearCoupling) {
  const ProblemSetup setup = make_setup(1, 0.25, 1, 0.3, 10, 1e-6, 0);
  CrackGrid grid;
  grid.bounds = BoxBounds{0, 0, 0, 3, 2, 1};
  const double h = setup.h;
  grid.crack_x = {0, h, 2 * h + 0.01, 0.003, h, 2 * h};
  grid.crack_y = {0, 0.002, 0, h, h + 0.004, h};
  grid.crack_mask = {1, 1, 1, 1, 1, 1};
  PaddedConvolution conv({3, 2}, PLANAR_KERNELS, 1, PlannerEffort::estimate);
  build_planar_kernel(setup, grid, PlanarKernel::specified, conv);
  // Probe the stored K12 at offset (m, n) by convolving an impulse at node
  // (1, 1) (0-based (1, 0)... the box corner) and reading node (1 + m, n).
  auto k12_at = [&](int m, int n) {
    std::vector<double> in(6, 0.0), out(6, 0.0);
    const int source_i = m >= 0 ? 0 : 2, source_j = n >= 0 ? 0 : 1;
    in[static_cast<std::size_t>(source_i + 3 * source_j)] = 1.0;
    Coupling coupling{1, 1, {K12}, {1.0}};
    conv.apply(coupling, in, out);
    return out[static_cast<std::size_t>(source_i + m + 3 * (source_j + n))];
  };
  const PlanarKernelValues k11 = planar_kernel_values(grid.crack_x[4] - grid.crack_x[0],
                                                      grid.crack_y[4] - grid.crack_y[0], h, setup.G0, setup.c_nu,
                                                      PlanarKernel::specified);
  EXPECT_NEAR(k12_at(1, 1), k11.k12, 1e-13);
  EXPECT_NEAR(k12_at(-1, -1), k11.k12, 1e-13);
  EXPECT_NEAR(k12_at(-1, 1), -k11.k12, 1e-13);
  EXPECT_NEAR(k12_at(1, -1), -k11.k12, 1e-13);
  EXPECT_GT(std::abs(k11.k12), 1e-3);
}

TEST(PlanarKernel, SingleCrackNodeGivesATwoByTwoPaddedGrid) {
  const ProblemSetup setup = make_setup(1, 0.3, 1, 0.3, 10, 1e-6, 0);
  CrackGrid grid;
  grid.bounds = BoxBounds{4, 4, 0, 1, 1, 1};
  grid.crack_x = {0};
  grid.crack_y = {0};
  grid.crack_mask = {1};
  PaddedConvolution conv({1, 1}, PLANAR_KERNELS, 1, PlannerEffort::estimate);
  EXPECT_EQ(conv.padded_size(), 4u);
  build_planar_kernel(setup, grid, PlanarKernel::specified, conv);
  const PlanarKernelValues zero = planar_kernel_values(0, 0, setup.h, setup.G0, setup.c_nu, PlanarKernel::specified);
  std::vector<double> in{1.0}, out{0.0};
  conv.apply(Coupling{1, 1, {K33}, {1.0}}, in, out);
  EXPECT_NEAR(out[0], zero.k33, 1e-14);
}

}  // namespace
}  // namespace csolver
