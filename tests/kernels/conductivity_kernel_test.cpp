// The conduction kernels against what they stand for: the second derivatives
// of the Gaussian's potential psi(t) = erf(t/sqrt2)/(4 pi t) by finite
// differences, their trace -g, and the insulating crack's kernel against the
// elastic crack's normal-traction kernel with mu/(1 - nu) = k0.
#include "kernels/conductivity_kernel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

namespace csolver {
namespace {

double psi(double x, double y, double z) {
  const double t = std::sqrt(x * x + y * y + z * z);
  return std::erf(t / std::sqrt(2.0)) / (4 * std::numbers::pi * t);
}

// d_a d_b psi at p by central differences of step s.
double second_derivative(const std::array<double, 3>& p, int a, int b, double s) {
  auto at = [&](double da, double db) {
    std::array<double, 3> q = p;
    q[static_cast<std::size_t>(a)] += da;
    q[static_cast<std::size_t>(b)] += db;
    return psi(q[0], q[1], q[2]);
  };
  if (a == b) return (at(s, 0) - 2 * at(0, 0) + at(-s, 0)) / (s * s);
  return (at(s, s) - at(s, -s) - at(-s, s) + at(-s, -s)) / (4 * s * s);
}

TEST(ConductivityKernel, FieldEntriesAreTheSmoothedSecondDerivativesOfThePotential) {
  std::mt19937 random(3);
  std::normal_distribution<double> normal;
  std::uniform_real_distribution<double> distance(0.4, 5.0);
  for (int trial = 0; trial < 12; ++trial) {
    std::array<double, 3> u{normal(random), normal(random), normal(random)};
    const double norm = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
    for (double& c : u) c /= norm;
    const double t = distance(random);
    const RadialFunctions f = volume_radial_functions(t, 0.1);
    const auto field = conductivity_kernel_entries(f, u, ConductivityFormulation::field);
    const auto flux = conductivity_kernel_entries(f, u, ConductivityFormulation::flux);
    const std::array<double, 3> p{t * u[0], t * u[1], t * u[2]};
    for (int a = 0; a < 3; ++a)
      for (int b = 0; b < 3; ++b) {
        const std::size_t s = static_cast<std::size_t>(conductivity_entry(a, b));
        // Differences of step 1e-3 carry 1e-6 relative error; the Gaussian's
        // single-precision e carries 1e-7.
        EXPECT_NEAR(field[s], second_derivative(p, a, b, 1e-3), 2e-6 * f.A) << "t=" << t << " (" << a << b << ")";
        EXPECT_NEAR(flux[s] - field[s], a == b ? f.g : 0.0, 1e-15);
      }
    EXPECT_NEAR(field[0] + field[1] + field[2], -f.g, 1e-15);  // the Laplacian of psi is -g
  }
}

TEST(ConductivityKernel, ZeroOffsetIsAThirdOfTheGaussianOnTheDiagonal) {
  const RadialFunctions f = volume_radial_functions(0, 0.1);
  const auto field = conductivity_kernel_entries(f, {0, 0, 0}, ConductivityFormulation::field);
  for (int a = 0; a < 3; ++a) {
    EXPECT_NEAR(field[static_cast<std::size_t>(a)], -f.g / 3, 1e-8 * f.g);  // isotropy of the self term
    EXPECT_EQ(field[static_cast<std::size_t>(conductivity_entry(a, (a + 1) % 3))], 0.0);
  }
}

TEST(ConductivityKernel, EntrySlotsAndParitiesMatch) {
  const std::vector<AxisParities> parities = conductivity_kernel_parities();
  ASSERT_EQ(parities.size(), static_cast<std::size_t>(CONDUCTIVITY_ENTRIES + 1));
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) {
      const int s = conductivity_entry(a, b);
      EXPECT_EQ(s, conductivity_entry(b, a));
      for (int axis = 0; axis < 3; ++axis) {
        const bool odd = (a == axis) != (b == axis);
        EXPECT_EQ(parities[static_cast<std::size_t>(s)][static_cast<std::size_t>(axis)], odd ? Parity::odd : Parity::even);
      }
    }
}

// A double layer's normal flux is the elastic crack's normal traction of an
// opening with mu/(1 - nu) replaced by k0: the same code path, scaled.
TEST(ConductivityKernel, CrackFluxIsTheElasticNormalTractionKernelWithK0ForMuOverOneMinusNu) {
  const double h = 2.0 / 40, nu = 0.3, G0 = 1.7;
  const double c_nu = 1 / (2 * (1 - nu));
  const double k0 = G0 / (1 - nu);
  for (auto [dx, dy] : {std::pair{0.0, 0.0}, {h, 0.0}, {2 * h, 3 * h}, {7 * h, 0.5 * h}, {20 * h, 13 * h}}) {
    const PlanarKernelValues elastic = planar_kernel_values(dx, dy, h, G0, c_nu, PlanarKernel::exact);
    const CrackFluxValues conduction = crack_flux_values(dx, dy, h, k0);
    EXPECT_NEAR(conduction.flux, elastic.k33, 1e-14 * std::abs(elastic.k33)) << dx << ", " << dy;
    EXPECT_DOUBLE_EQ(conduction.gauss, elastic.gauss);
  }
}

}  // namespace
}  // namespace csolver
