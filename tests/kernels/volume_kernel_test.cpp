// The packed volume-kernel entries against the tensor expressions they stand
// for: the smoothed Green-tensor derivative (stiffness) and C0:K:C0 - g C0
// (compliance), for every one of the 21 entries and random directions.
#include "kernels/volume_kernel.h"

#include "support/problems.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace csolver {
namespace {

using testing::make_setup;

double delta(int a, int b) { return a == b ? 1.0 : 0.0; }

// Gamma_ik,jl of the smoothed Green tensor's second derivative.
double gamma_tensor(int i, int k, int j, int l, const RadialFunctions& f, const std::array<double, 3>& u,
                    double kappa, double G0) {
  const double A = f.A, B = f.B, g = f.g, F = f.F;
  auto U = [&](int a) { return u[static_cast<std::size_t>(a)]; };
  const double value =
      -delta(i, k) * (A * delta(j, l) + (g - 3 * A) * U(j) * U(l)) +
      kappa * (B * (delta(i, j) * delta(k, l) + delta(i, k) * delta(j, l) + delta(i, l) * delta(j, k)) +
               (A - 5 * B) * (delta(i, j) * U(k) * U(l) + delta(i, k) * U(j) * U(l) + delta(i, l) * U(j) * U(k) +
                              delta(j, k) * U(i) * U(l) + delta(j, l) * U(i) * U(k) + delta(k, l) * U(i) * U(j)) +
               F * U(i) * U(j) * U(k) * U(l));
  return value / G0;
}

double K_tensor(int i, int j, int k, int l, const RadialFunctions& f, const std::array<double, 3>& u, double kappa,
                double G0) {
  return -0.25 * (gamma_tensor(i, k, j, l, f, u, kappa, G0) + gamma_tensor(j, k, i, l, f, u, kappa, G0) +
                  gamma_tensor(i, l, j, k, f, u, kappa, G0) + gamma_tensor(j, l, i, k, f, u, kappa, G0));
}

double C_tensor(int i, int j, int k, int l, double lambda, double G) {
  return lambda * delta(i, j) * delta(k, l) + G * (delta(i, k) * delta(j, l) + delta(i, l) * delta(j, k));
}

class VolumeKernelFormulas : public ::testing::TestWithParam<Formulation> {};

TEST_P(VolumeKernelFormulas, EveryPackedEntryEqualsItsTensorExpression) {
  const Formulation formulation = GetParam();
  const ProblemSetup setup = make_setup(1.7, 0.27, 1, 0.3, 10);
  std::mt19937 random(7);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> distance(0.3, 6.0);
  for (int trial = 0; trial < 20; ++trial) {
    std::array<double, 3> u{normal(random), normal(random), normal(random)};
    const double norm = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u) c /= norm;
    const double t = distance(random);
    const RadialFunctions f = volume_radial_functions(t, setup.h);
    const auto entries = volume_kernel_entries(f, u, setup.c_nu, setup.G0, formulation);
    for (int I = 0; I < 6; ++I)
      for (int J = I; J < 6; ++J) {
        const auto [i, j] = index_pair(I, formulation);
        const auto [k, l] = index_pair(J, formulation);
        double expected = 0;
        if (formulation == Formulation::stiffness) {
          expected = K_tensor(i, j, k, l, f, u, setup.c_nu, setup.G0);
        } else {
          for (int m = 0; m < 3; ++m)
            for (int n = 0; n < 3; ++n)
              for (int p = 0; p < 3; ++p)
                for (int q = 0; q < 3; ++q)
                  expected += C_tensor(i, j, m, n, setup.lambda0, setup.G0) * K_tensor(m, n, p, q, f, u, setup.c_nu, setup.G0) *
                              C_tensor(p, q, k, l, setup.lambda0, setup.G0);
          expected -= f.g * C_tensor(i, j, k, l, setup.lambda0, setup.G0);
        }
        const double computed = entries[static_cast<std::size_t>(packed_entry(I, J))];
        // Different groupings of the same sums: rounding only.
        EXPECT_NEAR(computed, expected, 1e-12 * (1 + std::abs(expected))) << "entry (" << I << "," << J << ") t=" << t;
      }
  }
}

INSTANTIATE_TEST_SUITE_P(BothFormulations, VolumeKernelFormulas,
                         ::testing::Values(Formulation::stiffness, Formulation::compliance));

TEST(VolumeKernel, ZeroOffsetValues) {
  const ProblemSetup setup = make_setup(1, 0.3, 1, 0.3, 20);
  const double A0 = 0.021164544427977994, B0 = 0.004232908885595599, g0 = 1 / 15.749610603131663;
  const double k = setup.c_nu, G0 = setup.G0;
  const RadialFunctions f = volume_radial_functions(0.0, setup.h);
  EXPECT_EQ(f.A, A0);
  EXPECT_EQ(f.B, B0);
  EXPECT_DOUBLE_EQ(f.g, g0);
  const auto stiff = volume_kernel_entries(f, {0, 0, 0}, k, G0, Formulation::stiffness);
  const auto comp = volume_kernel_entries(f, {0, 0, 0}, k, G0, Formulation::compliance);
  for (int s = 0; s < VOLUME_ENTRIES; ++s) {
    const std::size_t i = static_cast<std::size_t>(s);
    const int entry = s + 1;
    if (entry == 1 || entry == 7 || entry == 12) {
      EXPECT_DOUBLE_EQ(stiff[i], (A0 - 3 * k * B0) / G0);
      EXPECT_DOUBLE_EQ(comp[i], G0 * (8 * k * A0 - 12 * k * B0 - 4 * k * g0));
    } else if (entry == 2 || entry == 3 || entry == 8) {
      EXPECT_DOUBLE_EQ(stiff[i], -k * B0 / G0);
      EXPECT_DOUBLE_EQ(comp[i], G0 * ((8 * k - 4) * A0 - 4 * k * B0 + (2 - 4 * k) * g0));
    } else if (entry == 16 || entry == 19 || entry == 21) {
      EXPECT_DOUBLE_EQ(stiff[i], (A0 / 2 - k * B0) / G0);
      EXPECT_DOUBLE_EQ(comp[i], G0 * ((2 + 6 * k) * A0 - 19 * k * B0 - (1 + k) * g0));
    } else {
      EXPECT_EQ(stiff[i], 0.0) << entry;
      EXPECT_EQ(comp[i], 0.0) << entry;
    }
  }
}

TEST(VolumeKernel, RadialFunctionsMatchThePotentialOfTheGaussian) {
  // M = 1: h = 2, nearest neighbours at t = 1 = h/2 take the limits.
  EXPECT_EQ(volume_radial_functions(1.0, 2.0).A, 0.021164544427977994);
  EXPECT_EQ(volume_radial_functions(1.0, 2.0).B, 0.004232908885595599);
  // A = -psi'(t)/t with psi = erf(t/sqrt2)/(4 pi t); the single-precision
  // constants make the program's value differ by about 1e-7 relative.
  for (double t : {1.0, 2.0, 3.5}) {
    const double pi = M_PI;
    const double A = (std::erf(t / std::sqrt(2.0)) - t * std::sqrt(2 / pi) * std::exp(-t * t / 2)) / (4 * pi * t * t * t);
    EXPECT_NEAR(volume_radial_functions(t, 0.1).A, A, 1e-6 * A) << t;
  }
}

TEST(VolumeKernel, PackingTable) {
  EXPECT_EQ(packed_entry(0, 0), 0);
  EXPECT_EQ(packed_entry(1, 1), 6);
  EXPECT_EQ(packed_entry(2, 2), 11);
  EXPECT_EQ(packed_entry(3, 3), 15);
  EXPECT_EQ(packed_entry(4, 3), 16);
  EXPECT_EQ(packed_entry(5, 5), 20);
  EXPECT_EQ(packed_entry(2, 4), 13);
  // Shear rows 4 and 6 are exchanged between the formulations.
  EXPECT_EQ(index_pair(3, Formulation::stiffness), (std::array<int, 2>{1, 2}));
  EXPECT_EQ(index_pair(3, Formulation::compliance), (std::array<int, 2>{0, 1}));
}

// A single box node: only the zero offset exists, so every transformed kernel
// is constant over the padded grid; applied to a unit field it returns the
// stored zero-offset matrix column.
TEST(VolumeKernel, SingleNodeBoxGivesTheZeroOffsetMatrix) {
  const ProblemSetup setup = make_setup(1, 0.3, 10, 0.3, 20);
  Box box;
  box.bounds = BoxBounds{0, 0, 0, 1, 1, 1};
  box.box_x = {0};
  box.box_y = {0};
  box.box_z = {0};
  PaddedConvolution conv({1, 1, 1}, VOLUME_ENTRIES + 1, 1, PlannerEffort::estimate);
  build_volume_kernel(setup, box, conv);
  const auto expected =
      volume_kernel_entries(volume_radial_functions(0, setup.h), {0, 0, 0}, setup.c_nu, setup.G0, setup.formulation);
  for (int s = 0; s <= VOLUME_ENTRIES; ++s) {
    Coupling single{1, 1, {s}, {1.0}};
    std::vector<double> in{1.0}, out{0.0};
    conv.apply(single, in, out);
    const double stored = s == VOLUME_GAUSS ? 1 / 15.749610603131663 : -expected[static_cast<std::size_t>(s)];
    EXPECT_NEAR(out[0], stored, 1e-15) << s;
  }
}

}  // namespace
}  // namespace csolver
