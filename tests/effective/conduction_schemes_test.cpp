// The scalar conduction schemes against their closed forms: spheres (Maxwell
// = Mori-Tanaka = Hashin-Shtrikman on the matrix's side), randomly oriented
// insulating penny cracks (Mori-Tanaka = non-interaction in resistivity).
#include "contribution/effective.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>

namespace contribution::effective {
namespace {

Tensor3 isotropic(double value) { return {{{value, 0, 0}, {0, value, 0}, {0, 0, value}}}; }

// A sphere's R: 3 (k0 - k1) / (k0 (k1 + 2 k0)) per unit volume; k1 = inf: -3/k0.
ConductionPhase spheres(double phi, double k0, double k1) {
  const double R = std::isinf(k1) ? -3 / k0 : 3 * (k0 - k1) / (k0 * (k1 + 2 * k0));
  return {k1 == 0 ? Kind::pore : Kind::inhomogeneity, phi, isotropic(R), k1};
}

TEST(ConductionSchemes, SpheresGiveHashinShtrikmanByMaxwellAndMoriTanaka) {
  const double k0 = 2, phi = 0.2;
  for (double k1 : {0.0, 0.5, 10.0, std::numeric_limits<double>::infinity()}) {
    const std::vector<ConductionPhase> phases{spheres(phi, k0, k1)};
    const double hs = std::isinf(k1) ? k0 * (1 + 2 * phi) / (1 - phi)
                                     : k0 + phi / (1 / (k1 - k0) + (1 - phi) / (3 * k0));
    EXPECT_NEAR(mori_tanaka_conductivity(k0, phases), hs, 1e-12 * hs) << "k1 = " << k1;
    EXPECT_NEAR(maxwell_conductivity(k0, phases), hs, 1e-12 * hs) << "k1 = " << k1;
  }
  // Insulating spheres: non-interaction 1 - 3/2 phi, in resistivity 1/(1 + 3/2 phi).
  const std::vector<ConductionPhase> pores{spheres(phi, k0, 0)};
  EXPECT_NEAR(nia_conductivity(k0, pores), k0 * (1 - 1.5 * phi), 1e-12);
  EXPECT_NEAR(nia_resistivity(k0, pores), k0 / (1 + 1.5 * phi), 1e-12);
}

TEST(ConductionSchemes, RandomPennyCracksFollowTheCrackDensity) {
  const double k0 = 3, a = 0.5, density = 0.6 / (a * a * a);  // rho a^3 = 0.6
  Tensor3 R{};
  R[2][2] = 8 * a * a * a / (3 * k0);
  const std::vector<ConductionPhase> cracks{{Kind::crack, density, R, 0}};
  EXPECT_NEAR(nia_conductivity(k0, cracks), k0 * (1 - 8.0 / 9 * 0.6), 1e-12);
  EXPECT_NEAR(nia_resistivity(k0, cracks), k0 / (1 + 8.0 / 9 * 0.6), 1e-12);
  // Cracks occupy no volume: Mori-Tanaka is the resistivity form of the non-interaction approximation.
  EXPECT_NEAR(mori_tanaka_conductivity(k0, cracks), nia_resistivity(k0, cracks), 1e-12);
}

TEST(ConductionSchemes, RefusesBadInput) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_THROW(nia_conductivity(0, {}), std::invalid_argument);
  EXPECT_THROW(nia_conductivity(1, {{Kind::pore, -0.1, isotropic(1.5), 0}}), std::invalid_argument);
  EXPECT_THROW(nia_conductivity(1, {{Kind::pore, 0.1, isotropic(nan), 0}}), std::invalid_argument);
  EXPECT_THROW(mori_tanaka_conductivity(1, {{Kind::pore, 0.7, isotropic(1.5), 0}, {Kind::pore, 0.4, isotropic(1.5), 0}}),
               std::invalid_argument);
  EXPECT_THROW(mori_tanaka_conductivity(1, {{Kind::pore, 1.0, isotropic(1.5), 0}}), std::invalid_argument);
  EXPECT_THROW(maxwell_conductivity(1, {spheres(1.0, 1, std::numeric_limits<double>::infinity())}), std::invalid_argument);
  EXPECT_DOUBLE_EQ(maxwell_conductivity(2, {}), 2);
}

}  // namespace
}  // namespace contribution::effective
