// Effective properties from contribution tensors, against closed forms of
// micromechanics: Eshelby's sphere, Mori-Tanaka for spherical pores and stiff
// spheres, the flat pore that becomes a crack, and the isotropic projections
// as contractions of the full fourth-rank tensors.
#include "contribution/effective.h"

#include "effective/eshelby_ellipsoid.h"
#include "effective/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace effective_testing {
namespace {

using fx::CompliancePhase;
using fx::Kind;
using fx::Material;
using fx::StiffnessPhase;

const Material MATRIX{1.0, 0.3};

// Rounding of 6x6 products and inverses of tensors of order one.
constexpr double ROUNDING = 1e-12;

Rotation identity_rotation() { return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}; }

// A rotation about a general axis, from the Rodrigues formula.
Rotation general_rotation() {
  const double axis[3] = {1 / std::sqrt(14.0), 2 / std::sqrt(14.0), 3 / std::sqrt(14.0)};
  const double angle = 0.7, c = std::cos(angle), s = std::sin(angle);
  Rotation R{};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      R[i][j] = (i == j ? c : 0) + (1 - c) * axis[i] * axis[j];
      for (int k = 0; k < 3; ++k) {
        const int e = (i - j) * (j - k) * (k - i) / 2;  // Levi-Civita for indices 0..2
        R[i][j] -= s * e * axis[k];
      }
    }
  return R;
}

// ------------------------------------------------------------------ orders --

TEST(StandardOrder, OnlyTheStiffnessFormulationsTensorsAndTheCompliancesMeanFieldAreReordered) {
  fx::Tensor6 t{};
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c) t[r][c] = 10 * r + c;  // entry names its own position
  // Component order as delivered, indexed by the standard position it must
  // land on: standard 4, 5, 6 are 23, 13, 12.
  struct Case {
    bool mean_field;
    fx::Origin origin;
    int source_of[6];
  };
  const Case cases[] = {
      {false, fx::Origin::compliance_formulation, {0, 1, 2, 3, 4, 5}},  // printed 23, 13, 12
      {false, fx::Origin::crack, {0, 1, 2, 3, 4, 5}},                   // yz, xz, xy
      {false, fx::Origin::stiffness_formulation, {0, 1, 2, 5, 4, 3}},   // printed 12, 13, 23
      {true, fx::Origin::compliance_formulation, {0, 1, 2, 5, 4, 3}},   // solver's 12, 13, 23
      {true, fx::Origin::stiffness_formulation, {0, 1, 2, 3, 4, 5}},    // solver's 23, 13, 12
  };
  for (const Case& c : cases) {
    const fx::Tensor6 s = c.mean_field ? fx::mean_field_to_standard_order(t, c.origin)
                                       : fx::tensor_to_standard_order(t, c.origin);
    for (int r = 0; r < 6; ++r)
      for (int k = 0; k < 6; ++k)
        EXPECT_EQ(s[r][k], t[c.source_of[r]][c.source_of[k]])
            << "mean_field " << c.mean_field << " origin " << static_cast<int>(c.origin) << " at " << r << "," << k;
  }
  EXPECT_EQ(fx::formulation_of(MATRIX, {1.0001, 0.3}), fx::Origin::stiffness_formulation);
  EXPECT_EQ(fx::formulation_of(MATRIX, {1.0, 0.3}), fx::Origin::compliance_formulation);
  EXPECT_EQ(fx::formulation_of(MATRIX, {1e-6, 0.3}), fx::Origin::compliance_formulation);
}

// ------------------------------------------------------- isotropic tensors --

TEST(IsotropicTensors, StiffnessAndComplianceAreInversesAndProjectBackToTheirModuli) {
  for (const Material m : {Material{1, 0.3}, Material{70000, 0.33}, Material{2.5, -0.4}, Material{3, 0.49}}) {
    const Matrix C = to_eigen(fx::isotropic_stiffness(m)), S = to_eigen(fx::isotropic_compliance(m));
    EXPECT_LT(max_abs(C * S - Matrix::Identity()), ROUNDING) << m.nu;
    const double G = m.E / (2 * (1 + m.nu));
    EXPECT_NEAR(C(3, 3), G, ROUNDING * m.E);  // Voigt with engineering shear strain
    EXPECT_NEAR(S(5, 5), 1 / G, ROUNDING / m.E);
    const fx::IsotropicModuli expected = fx::moduli_of(m);
    EXPECT_NEAR(expected.E, m.E, ROUNDING * m.E);
    EXPECT_NEAR(expected.nu, m.nu, ROUNDING);
    EXPECT_NEAR(expected.K, m.E / (3 * (1 - 2 * m.nu)), ROUNDING * expected.K);
    for (const fx::IsotropicModuli p :
         {fx::isotropic_projection_of_stiffness(to_array(C)), fx::isotropic_projection_of_compliance(to_array(S))}) {
      EXPECT_NEAR(p.K, expected.K, ROUNDING * expected.K);
      EXPECT_NEAR(p.G, G, ROUNDING * G);
      EXPECT_NEAR(p.E, m.E, ROUNDING * m.E);
      EXPECT_NEAR(p.nu, m.nu, ROUNDING);
    }
  }
}

// The projections as contractions of the full fourth-rank tensors with the
// isotropic projectors, J::X and K::X / 5, built index by index from the
// Voigt matrix (a compliance's engineering shear carries 2 per shear index
// pair); on an anisotropic tensor, and unchanged when the tensor is turned.
TEST(IsotropicTensors, ProjectionsAreContractionsOfTheFourthRankTensors) {
  const EllipsoidTensors local = eshelby_ellipsoid({0.6, 0.35, 0.2}, identity_rotation(), 1, 0.3, 4, 0.2);
  const EllipsoidTensors turned = eshelby_ellipsoid({0.6, 0.35, 0.2}, general_rotation(), 1, 0.3, 4, 0.2);
  const Matrix C0 = to_eigen(fx::isotropic_stiffness(MATRIX));
  const Matrix S0 = to_eigen(fx::isotropic_compliance(MATRIX));
  const int voigt[3][3] = {{0, 5, 4}, {5, 1, 3}, {4, 3, 2}};
  // J::X and I::X of the fourth-rank tensor X_ijkl = X(voigt(ij), voigt(kl)) / (f_ij f_kl).
  auto contractions = [&](const Matrix& X, bool compliance) {
    double J = 0, I = 0;
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
          for (int l = 0; l < 3; ++l) {
            const double f = compliance ? (i == j ? 1 : 2) * (k == l ? 1 : 2) : 1;
            const double x = X(voigt[i][j], voigt[k][l]) / f;
            if (i == j && k == l) J += x / 3;
            if (i == k && j == l) I += (x + x) / 2;  // (delta_ik delta_jl + delta_il delta_jk)/2, X minor-symmetric
          }
    return std::pair<double, double>{J, (I - J) / 5};
  };
  for (double phi : {0.1, 0.3}) {
    const Matrix C = C0 + phi * local.N, S = S0 + phi * local.H;
    const auto [jc, kc] = contractions(C, false);  // 3K and 2G of the stiffness
    const auto [js, ks] = contractions(S, true);   // 1/(3K) and 1/(2G) of the compliance
    const fx::IsotropicModuli pc = fx::isotropic_projection_of_stiffness(to_array(C));
    const fx::IsotropicModuli ps = fx::isotropic_projection_of_compliance(to_array(S));
    EXPECT_NEAR(3 * pc.K, jc, ROUNDING);
    EXPECT_NEAR(2 * pc.G, kc, ROUNDING);
    EXPECT_NEAR(1 / (3 * ps.K), js, ROUNDING);
    EXPECT_NEAR(1 / (2 * ps.G), ks, ROUNDING);
    const fx::IsotropicModuli pc_turned = fx::isotropic_projection_of_stiffness(to_array(C0 + phi * turned.N));
    const fx::IsotropicModuli ps_turned = fx::isotropic_projection_of_compliance(to_array(S0 + phi * turned.H));
    EXPECT_NEAR(pc_turned.K, pc.K, 1e-9);
    EXPECT_NEAR(pc_turned.G, pc.G, 1e-9);
    EXPECT_NEAR(ps_turned.K, ps.K, 1e-9);
    EXPECT_NEAR(ps_turned.G, ps.G, 1e-9);
    // The two projections of one anisotropic tensor differ.
    const fx::IsotropicModuli of_inverse = fx::isotropic_projection_of_compliance(fx::inverse(to_array(C)));
    EXPECT_GT(std::abs(of_inverse.G / pc.G - 1), 1e-4) << phi;
  }
}

// ----------------------------------------------------------------- NIA --

TEST(NonInteraction, IdenticalSpheresAddTheirTensorsByVolumeFraction) {
  const Sphere sphere = eshelby_sphere(1, 0.3, 10, 0.3);
  const Matrix C0 = to_eigen(fx::isotropic_stiffness(MATRIX)), S0 = to_eigen(fx::isotropic_compliance(MATRIX));
  const Matrix N = -C0 * sphere.H * C0;
  const double phi = 0.2;
  for (int n : {1, 3, 10}) {
    std::vector<CompliancePhase> H_phases(n, CompliancePhase{Kind::inhomogeneity, phi / n, to_array(sphere.H), {}});
    std::vector<StiffnessPhase> N_phases(n, StiffnessPhase{Kind::inhomogeneity, phi / n, to_array(N), {}});
    EXPECT_LT(max_abs(to_eigen(fx::nia_compliance(MATRIX, H_phases)) - (S0 + phi * sphere.H)), ROUNDING) << n;
    EXPECT_LT(max_abs(to_eigen(fx::nia_stiffness(MATRIX, N_phases)) - (C0 + phi * N)), ROUNDING) << n;
  }
}

// The compliance and the stiffness forms are different approximations: their
// product misses the identity by a term of second order in the concentration.
TEST(NonInteraction, TheTwoFormsDifferAtSecondOrder) {
  const EllipsoidTensors e = eshelby_ellipsoid({0.5, 0.3, 0.2}, general_rotation(), 1, 0.3, 0.05, 0.3);
  auto defect = [&](double phi) {
    const Matrix S = to_eigen(fx::nia_compliance(MATRIX, {{Kind::inhomogeneity, phi, to_array(e.H), to_array(e.B)}}));
    const Matrix C = to_eigen(fx::nia_stiffness(MATRIX, {{Kind::inhomogeneity, phi, to_array(e.N), to_array(e.A)}}));
    return max_abs(C * S - Matrix::Identity());
  };
  EXPECT_GT(defect(0.02), 1e-4);
  EXPECT_NEAR(defect(0.02) / defect(0.01), 4, 0.2);
}

// ------------------------------------------------------------ Mori-Tanaka --

// Spherical pores. Mori-Tanaka with B = 0 gives S = S0 + phi H/(1 - phi):
// on the mean, 1/(3K) = 1/(3K0) [1 + phi/(1 - phi) (3K0 + 4G0)/(4G0)], i.e.
//   K = 4 K0 G0 (1 - phi) / (4 G0 + 3 K0 phi),
// on the deviator, 1/(2G) = 1/(2G0) [1 + phi/((1 - phi)(1 - beta))] with
// beta = 6 (K0 + 2G0)/(5 (3K0 + 4G0)), i.e.
//   G = G0 (1 - phi) / (1 + phi 6 (K0 + 2G0)/(9K0 + 8G0)),
// the Hashin-Shtrikman upper bound for a porous material.
TEST(MoriTanaka, SphericalPoresMeetTheClosedForm) {
  const double K0 = bulk(1, 0.3), G0 = shear(1, 0.3);
  const Matrix H = spherical_pore_H(1, 0.3);
  const Matrix C0 = to_eigen(fx::isotropic_stiffness(MATRIX));
  // The pore of the general ellipsoid formula with E1 = 0 is the same tensor.
  const EllipsoidTensors pore = eshelby_ellipsoid({0.5, 0.5, 0.5}, identity_rotation(), 1, 0.3, 0, 0.3);
  ASSERT_LT(max_abs(pore.H - H), 1e-10);
  for (double phi : {0.05, 0.3, 0.6}) {
    const double K = 4 * K0 * G0 * (1 - phi) / (4 * G0 + 3 * K0 * phi);
    const double G = G0 * (1 - phi) / (1 + phi * 6 * (K0 + 2 * G0) / (9 * K0 + 8 * G0));
    // Split into two families: the scheme sums them.
    const std::vector<CompliancePhase> compliance{{Kind::pore, phi / 3, to_array(H), {}},
                                                  {Kind::pore, 2 * phi / 3, to_array(H), {}}};
    const std::vector<StiffnessPhase> stiffness{{Kind::pore, phi, to_array(-C0 * H * C0), {}}};
    const fx::Tensor6 S = fx::mori_tanaka_compliance(MATRIX, compliance);
    const fx::Tensor6 C = fx::mori_tanaka_stiffness(MATRIX, stiffness);
    for (const fx::IsotropicModuli p :
         {fx::isotropic_projection_of_compliance(S), fx::isotropic_projection_of_stiffness(C)}) {
      EXPECT_NEAR(p.K / K, 1, ROUNDING) << phi;
      EXPECT_NEAR(p.G / G, 1, ROUNDING) << phi;
    }
    EXPECT_LT(max_abs(to_eigen(C) * to_eigen(S) - Matrix::Identity()), ROUNDING);
  }
}

// Stiff spheres. Mori-Tanaka with Eshelby's concentration tensors gives the
// Hashin-Shtrikman lower bound (the upper one for soft spheres):
//   K = K0 + phi (K1 - K0)(3K0 + 4G0) / (3K0 + 4G0 + 3 (1 - phi)(K1 - K0)),
//   G = G0 + phi (G1 - G0) / (1 + (1 - phi)(G1 - G0)/(G0 + zeta0)),
// zeta0 = G0 (9K0 + 8G0)/(6 (K0 + 2G0)). The stress form with B and the
// strain form with A = S1 B C0 give each other's inverse.
TEST(MoriTanaka, SpheresMeetHashinShtrikmanInBothForms) {
  const double K0 = bulk(1, 0.3), G0 = shear(1, 0.3);
  const double zeta0 = G0 * (9 * K0 + 8 * G0) / (6 * (K0 + 2 * G0));
  for (const Material inclusion : {Material{10, 0.2}, Material{0.1, 0.45}}) {
    const double K1 = bulk(inclusion.E, inclusion.nu), G1 = shear(inclusion.E, inclusion.nu);
    const Sphere s = eshelby_sphere(1, 0.3, inclusion.E, inclusion.nu);
    const Matrix A = to_eigen(fx::strain_from_stress_concentration(to_array(s.B), MATRIX, inclusion));
    const Matrix dC = to_eigen(fx::isotropic_stiffness(inclusion)) - to_eigen(fx::isotropic_stiffness(MATRIX));
    EXPECT_LT(max_abs(to_eigen(fx::stress_from_strain_concentration(to_array(A), MATRIX, inclusion)) - s.B),
              ROUNDING);
    for (double phi : {0.1, 0.4}) {
      const double K = K0 + phi * (K1 - K0) * (3 * K0 + 4 * G0) / (3 * K0 + 4 * G0 + 3 * (1 - phi) * (K1 - K0));
      const double G = G0 + phi * (G1 - G0) / (1 + (1 - phi) * (G1 - G0) / (G0 + zeta0));
      const fx::Tensor6 S =
          fx::mori_tanaka_compliance(MATRIX, {{Kind::inhomogeneity, phi, to_array(s.H), to_array(s.B)}});
      const fx::Tensor6 C =
          fx::mori_tanaka_stiffness(MATRIX, {{Kind::inhomogeneity, phi, to_array(dC * A), to_array(A)}});
      for (const fx::IsotropicModuli p :
           {fx::isotropic_projection_of_compliance(S), fx::isotropic_projection_of_stiffness(C)}) {
        EXPECT_NEAR(p.K / K, 1, ROUNDING) << inclusion.E << " " << phi;
        EXPECT_NEAR(p.G / G, 1, ROUNDING) << inclusion.E << " " << phi;
      }
      EXPECT_LT(max_abs(to_eigen(C) * to_eigen(S) - Matrix::Identity()), ROUNDING);
    }
  }
}

// Turned ellipsoids of two materials, a family of pores and a crack family,
// in one composite: the stress form and the strain form (N = -C0 H C0,
// A = S1 B C0) give each other's inverse, a property of Mori-Tanaka that
// holds for any shapes.
TEST(MoriTanaka, StressAndStrainFormsAreInversesForMixedPhases) {
  const Material stiff{6, 0.25}, soft{0.2, 0.35};
  const EllipsoidTensors a = eshelby_ellipsoid({0.5, 0.3, 0.2}, general_rotation(), 1, 0.3, stiff.E, stiff.nu);
  const EllipsoidTensors b = eshelby_ellipsoid({0.2, 0.4, 0.3}, identity_rotation(), 1, 0.3, soft.E, soft.nu);
  const EllipsoidTensors pore = eshelby_ellipsoid({0.3, 0.3, 0.1}, general_rotation(), 1, 0.3, 0, 0.3);
  const Matrix C0 = to_eigen(fx::isotropic_stiffness(MATRIX));
  const double penny = 16 * (1 - 0.09) / 3;  // H33 of a penny crack of unit radius
  Matrix crack_H = Matrix::Zero();
  crack_H(2, 2) = penny;
  crack_H(3, 3) = crack_H(4, 4) = 2 * penny / (2 - 0.3);
  const std::vector<CompliancePhase> compliance{
      {Kind::inhomogeneity, 0.15, to_array(a.H), to_array(a.B)},
      {Kind::inhomogeneity, 0.1, to_array(b.H), to_array(b.B)},
      {Kind::pore, 0.1, to_array(pore.H), {}},
      {Kind::crack, 0.2, to_array(crack_H), {}},
  };
  std::vector<StiffnessPhase> stiffness{
      {Kind::inhomogeneity, 0.15, to_array(a.N), fx::strain_from_stress_concentration(to_array(a.B), MATRIX, stiff)},
      {Kind::inhomogeneity, 0.1, to_array(b.N), fx::strain_from_stress_concentration(to_array(b.B), MATRIX, soft)},
      {Kind::pore, 0.1, to_array(-C0 * pore.H * C0), {}},
      {Kind::crack, 0.2, to_array(-C0 * crack_H * C0), {}},
  };
  const Matrix S = to_eigen(fx::mori_tanaka_compliance(MATRIX, compliance));
  const Matrix C = to_eigen(fx::mori_tanaka_stiffness(MATRIX, stiffness));
  EXPECT_LT(max_abs(C * S - Matrix::Identity()), 1e-11);
  // Known property of the scheme (Benveniste, Dvorak and Chen 1991; Ferrari
  // 1991): families of different shapes or orientations give a non-symmetric
  // tensor; one family gives a symmetric one.
  EXPECT_GT(max_abs(S - S.transpose()), 1e-3);
  const Matrix one_family = to_eigen(fx::mori_tanaka_compliance(MATRIX, {compliance[0]}));
  EXPECT_LT(max_abs(one_family - one_family.transpose()), 1e-11);
  // Not a trivial composite: interaction moves it away from the NIA.
  EXPECT_GT(max_abs(S - to_eigen(fx::nia_compliance(MATRIX, compliance))), 0.1);
}

// A compliance-like Voigt tensor (stress to engineering strain) of a body
// turned by R: through Mandel form, where turning is Q X Q^T with Q the
// orthogonal rotation of symmetric tensors.
Matrix turned_compliance(const Matrix& H, const Rotation& R) {
  Matrix Q;
  const int first[6] = {0, 1, 2, 1, 0, 0}, second[6] = {0, 1, 2, 2, 2, 1};
  for (int I = 0; I < 6; ++I)
    for (int J = 0; J < 6; ++J) {
      const int i = first[I], j = second[I], k = first[J], l = second[J];
      const double value = k == l ? R[i][k] * R[j][l] : R[i][k] * R[j][l] + R[i][l] * R[j][k];
      Q(I, J) = value * (I >= 3 ? std::sqrt(2.0) : 1) / (J >= 3 ? std::sqrt(2.0) : 1);
    }
  Matrix mandel = Matrix::Identity();
  for (int r = 3; r < 6; ++r) mandel(r, r) = std::sqrt(2.0);
  return mandel * (Q * (mandel.inverse() * H * mandel.inverse()) * Q.transpose()) * mandel;
}

// A crack is the limit of a flat pore: a spheroidal pore of semi-axes a, a, c
// holds volume fraction phi = rho (4/3) pi a^2 c at crack density rho, and
// phi H_pore tends to rho H_crack as c/a -> 0 (the crack's H is not divided by
// any volume). Mori-Tanaka with the crack as a crack (weight rho, no volume)
// and with the same population as flat pores then agree to order c/a, here
// beside spherical pores whose stress concentration the cracks feel.
TEST(MoriTanaka, CracksAreTheLimitOfFlatPores) {
  const double a = 1, c = 0.01, rho = 0.15;
  const double phi_flat = rho * 4 * std::numbers::pi / 3 * a * a * c;
  // Quadrature points crowd the poles, where the flat pore's integrand peaks.
  const EllipsoidTensors flat = eshelby_ellipsoid({a, a, c}, identity_rotation(), 1, 0.3, 0, 0.3, 1600, 32);
  Matrix penny = Matrix::Zero();  // the penny crack of radius a, normal z
  penny(2, 2) = 16 * (1 - 0.09) * a * a * a / 3;
  penny(3, 3) = penny(4, 4) = 32 * (1 - 0.09) * a * a * a / (3 * (2 - 0.3));
  const Matrix crack_H = turned_compliance(penny, general_rotation());
  const Matrix flat_H = turned_compliance(flat.H, general_rotation());
  const double tolerance = 3 * c / a;  // measured: 2 c/a on H44, 0.8 c/a on H33
  EXPECT_LT(max_abs(phi_flat * flat_H - rho * crack_H), tolerance * max_abs(rho * crack_H));
  const Matrix sphere_H = spherical_pore_H(1, 0.3);
  const Matrix as_crack = to_eigen(fx::mori_tanaka_compliance(
      MATRIX, {{Kind::pore, 0.2, to_array(sphere_H), {}}, {Kind::crack, rho, to_array(crack_H), {}}}));
  const Matrix as_pore = to_eigen(fx::mori_tanaka_compliance(
      MATRIX, {{Kind::pore, 0.2, to_array(sphere_H), {}}, {Kind::pore, phi_flat, to_array(flat_H), {}}}));
  const Matrix S0 = to_eigen(fx::isotropic_compliance(MATRIX));
  EXPECT_LT(max_abs(as_crack - as_pore), tolerance * max_abs(as_crack - S0));
  // The closed form for pores and cracks together, (sum w H)/(1 - sum phi).
  EXPECT_LT(max_abs(as_crack - (S0 + (0.2 * sphere_H + rho * crack_H) / 0.8)), ROUNDING);
  // Cracks alone: Mori-Tanaka is the NIA.
  const std::vector<CompliancePhase> cracks{{Kind::crack, rho, to_array(crack_H), {}}};
  EXPECT_LT(max_abs(to_eigen(fx::mori_tanaka_compliance(MATRIX, cracks)) - to_eigen(fx::nia_compliance(MATRIX, cracks))),
            ROUNDING);
}

// ------------------------------------------------------------ bad inputs --

TEST(Effective, RejectsBadInputs) {
  const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
  const Matrix H = spherical_pore_H(1, 0.3);
  fx::Tensor6 with_nan = to_array(H);
  with_nan[2][4] = nan;
  fx::Tensor6 with_inf = to_array(H);
  with_inf[5][0] = -inf;
  const fx::Tensor6 ok = to_array(H);
  using Phases = std::vector<CompliancePhase>;
  struct Case {
    const char* what;
    Phases phases;
  };
  const Case schemes[] = {
      {"volume fractions sum to 1", {{Kind::pore, 0.6, ok, {}}, {Kind::inhomogeneity, 0.4, ok, {}}}},
      {"volume fractions sum past 1", {{Kind::pore, 1.2, ok, {}}}},
      {"negative weight", {{Kind::pore, 0.2, ok, {}}, {Kind::crack, -0.1, ok, {}}}},
      {"weight not a number", {{Kind::crack, nan, ok, {}}}},
      {"infinite weight", {{Kind::crack, inf, ok, {}}}},
      {"H not a number", {{Kind::pore, 0.1, with_nan, {}}}},
      {"H infinite", {{Kind::crack, 0.1, with_inf, {}}}},
      {"B not a number", {{Kind::inhomogeneity, 0.1, ok, with_nan}}},
  };
  for (const Case& c : schemes) {
    EXPECT_THROW(fx::mori_tanaka_compliance(MATRIX, c.phases), std::invalid_argument) << c.what;
    std::vector<StiffnessPhase> stiffness;
    for (const CompliancePhase& p : c.phases) stiffness.push_back({p.kind, p.weight, p.H, p.B});
    EXPECT_THROW(fx::mori_tanaka_stiffness(MATRIX, stiffness), std::invalid_argument) << c.what;
  }
  // The NIA takes volume fractions up to 1 and crack densities of any size.
  EXPECT_NO_THROW(fx::nia_compliance(MATRIX, {{Kind::pore, 1.0, ok, {}}, {Kind::crack, 5.0, ok, {}}}));
  EXPECT_THROW(fx::nia_compliance(MATRIX, {{Kind::pore, 1.01, ok, {}}}), std::invalid_argument);
  EXPECT_THROW(fx::nia_stiffness(MATRIX, {{Kind::crack, 0.1, with_nan, {}}}), std::invalid_argument);
  // A pore's B is not read: the pore carries no stress.
  EXPECT_NO_THROW(fx::mori_tanaka_compliance(MATRIX, {{Kind::pore, 0.1, ok, with_nan}}));
  // Materials.
  for (const Material bad : {Material{0, 0.3}, Material{-1, 0.3}, Material{nan, 0.3}, Material{1, 0.5},
                             Material{1, -1}, Material{1, nan}}) {
    EXPECT_THROW(fx::isotropic_stiffness(bad), std::invalid_argument) << bad.E << " " << bad.nu;
    EXPECT_THROW(fx::mori_tanaka_compliance(bad, {}), std::invalid_argument);
    EXPECT_THROW(fx::stress_concentration(ok, MATRIX, bad), std::invalid_argument);
  }
  // The averaged field of each formulation gives only its own tensor, and
  // needs a contrast in both moduli.
  EXPECT_THROW(fx::stress_concentration(ok, MATRIX, {5, 0.3}), std::invalid_argument);
  EXPECT_THROW(fx::strain_concentration(ok, MATRIX, {0.2, 0.3}), std::invalid_argument);
  const double K0 = bulk(1, 0.3);
  const Material same_bulk{0.5, 0.5 - 0.5 / (6 * K0)};  // E/(3(1 - 2 nu)) = K0
  ASSERT_NEAR(bulk(same_bulk.E, same_bulk.nu), K0, 1e-14);
  EXPECT_THROW(fx::stress_concentration(ok, MATRIX, same_bulk), std::invalid_argument);
  const Material equal_G{2 * shear(1, 0.3) * (1 + 0.2), 0.2};  // E/(2(1 + nu)) = G0
  EXPECT_THROW(fx::stress_concentration(ok, MATRIX, equal_G), std::invalid_argument);
  EXPECT_THROW(fx::mean_field_to_standard_order(ok, fx::Origin::crack), std::invalid_argument);
  EXPECT_THROW(fx::mean_field_to_standard_order(with_nan, fx::Origin::stiffness_formulation), std::invalid_argument);
  EXPECT_THROW(fx::tensor_to_standard_order(with_inf, fx::Origin::crack), std::invalid_argument);
  EXPECT_THROW(fx::isotropic_projection_of_stiffness(with_nan), std::invalid_argument);
  EXPECT_THROW(fx::inverse(fx::Tensor6{}), std::invalid_argument);
  // Stiff inclusions whose stress average cannot be formed: B = -I/phi makes
  // c0 I + phi B singular.
  const double phi = 0.25;
  EXPECT_THROW(fx::mori_tanaka_compliance(MATRIX, {{Kind::inhomogeneity, phi, ok, to_array(-0.75 / phi * Matrix::Identity())}}),
               std::invalid_argument);
}

}  // namespace
}  // namespace effective_testing
