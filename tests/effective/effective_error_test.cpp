// Error bars of the effective compliance of pores and cracks: both schemes
// are linear in the H_i, so a bar on each H_i moves S by exactly the
// weighted sum, and the isotropic moduli's ranges are those of the sums
// 1/K and 1/G of the compliance's entries.
#include "contribution/effective_error.h"

#include "effective/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <stdexcept>

namespace effective_testing {
namespace {

using fx::CompliancePhase;
using fx::Kind;

// A pore-like H: positive, not isotropic, with coupling terms.
fx::Tensor6 sample_H(double scale) {
  fx::Tensor6 H{};
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) H[r][c] = scale * (r == c ? 2.0 + 0.1 * static_cast<double>(r) : -0.3 / (1.0 + static_cast<double>(r + c)));
  return H;
}

TEST(EffectiveError, EqualsTheCompliancesShiftByEachPoresBar) {
  const fx::Material matrix{1, 0.3};
  const std::vector<CompliancePhase> phases = {{Kind::pore, 0.04, sample_H(1.0), {}},
                                               {Kind::pore, 0.07, sample_H(1.3), {}},
                                               {Kind::crack, 0.05, sample_H(0.6), {}}};
  const std::vector<fx::Tensor6> bars = {sample_H(0.05), sample_H(0.02), sample_H(0.1)};
  // Bars entrywise >= 0: the absolute values of the samples.
  std::vector<fx::Tensor6> errors = bars;
  for (fx::Tensor6& e : errors)
    for (auto& row : e)
      for (double& v : row) v = std::abs(v);
  std::vector<CompliancePhase> shifted = phases;
  for (std::size_t i = 0; i < phases.size(); ++i)
    for (std::size_t r = 0; r < 6; ++r)
      for (std::size_t c = 0; c < 6; ++c) shifted[i].H[r][c] += errors[i][r][c];
  const struct {
    fx::Scheme scheme;
    fx::Tensor6 (*compliance)(const fx::Material&, const std::vector<CompliancePhase>&);
  } cases[] = {{fx::Scheme::non_interaction, fx::nia_compliance}, {fx::Scheme::mori_tanaka, fx::mori_tanaka_compliance}};
  for (const auto& k : cases) {
    const fx::Tensor6 error = fx::compliance_error(phases, errors, k.scheme);
    const fx::Tensor6 S = k.compliance(matrix, phases), S_shifted = k.compliance(matrix, shifted);
    for (std::size_t r = 0; r < 6; ++r)
      for (std::size_t c = 0; c < 6; ++c) EXPECT_NEAR(error[r][c], S_shifted[r][c] - S[r][c], 1e-14) << r << c;
  }
  EXPECT_THROW(fx::compliance_error(phases, {errors[0]}, fx::Scheme::mori_tanaka), std::invalid_argument);
  std::vector<fx::Tensor6> negative = errors;
  negative[1][2][2] = -1e-3;
  EXPECT_THROW(fx::compliance_error(phases, negative, fx::Scheme::non_interaction), std::invalid_argument);
  std::vector<CompliancePhase> with_inclusion = phases;
  with_inclusion[0].kind = Kind::inhomogeneity;
  EXPECT_THROW(fx::compliance_error(with_inclusion, errors, fx::Scheme::non_interaction), std::invalid_argument);
}

TEST(EffectiveError, IsotropicRangesAreThoseOfTheBulkAndShearSums) {
  const fx::Material material{0.8, 0.27};
  const fx::Tensor6 S = fx::isotropic_compliance(material);
  const fx::IsotropicModuli m = fx::moduli_of(material);
  // A bar e on S11, S22, S33 only: 1/K moves by 3 e, 1/G by 12 e / 15.
  const double e = 0.02;
  fx::Tensor6 bar{};
  for (std::size_t i = 0; i < 3; ++i) bar[i][i] = e;
  const fx::IsotropicRange range = fx::isotropic_moduli_range(S, bar);
  EXPECT_NEAR(range.moduli.E, 0.8, 1e-12);
  EXPECT_NEAR(range.K.low, 1 / (1 / m.K + 3 * e), 1e-12);
  EXPECT_NEAR(range.K.high, 1 / (1 / m.K - 3 * e), 1e-12);
  EXPECT_NEAR(range.G.low, 1 / (1 / m.G + 0.8 * e), 1e-12);
  EXPECT_NEAR(range.G.high, 1 / (1 / m.G - 0.8 * e), 1e-12);
  // E grows with both moduli; nu grows with K and falls with G.
  const auto young = [](double k, double g) { return 9 * k * g / (3 * k + g); };
  const auto poisson = [](double k, double g) { return (3 * k - 2 * g) / (2 * (3 * k + g)); };
  EXPECT_NEAR(range.E.low, young(range.K.low, range.G.low), 1e-12);
  EXPECT_NEAR(range.E.high, young(range.K.high, range.G.high), 1e-12);
  EXPECT_NEAR(range.nu.low, poisson(range.K.low, range.G.high), 1e-12);
  EXPECT_NEAR(range.nu.high, poisson(range.K.high, range.G.low), 1e-12);
  EXPECT_LT(range.E.low, m.E);
  EXPECT_GT(range.E.high, m.E);
  EXPECT_DOUBLE_EQ(fx::covering_error(m.K, range.K), std::max(m.K - range.K.low, range.K.high - m.K));

  // No bar: no range.
  const fx::IsotropicRange none = fx::isotropic_moduli_range(S, fx::Tensor6{});
  EXPECT_DOUBLE_EQ(fx::covering_error(m.E, none.E), 0);
  // A bar that reaches a zero bulk compliance leaves K (and so E) unbounded above.
  fx::Tensor6 wide{};
  for (std::size_t i = 0; i < 3; ++i) wide[i][i] = 1 / m.K;
  const fx::IsotropicRange open = fx::isotropic_moduli_range(S, wide);
  EXPECT_TRUE(std::isinf(open.K.high));
  EXPECT_TRUE(std::isinf(fx::covering_error(m.K, open.K)));
  EXPECT_GT(open.K.low, 0);
}

// Conduction: every scheme falls as any phase's resistivity grows, so R's
// bars, drawn anywhere inside, never carry k outside the range; the
// non-interaction form is linear, its half-width k0^2 sum w tr(R_error)/3.
TEST(ConductionError, EveryRInsideTheBarsGivesAConductivityInsideTheRange) {
  using fx::ConductionPhase;
  using fx::ConductionScheme;
  const double k0 = 1.7;
  const contribution::Tensor3 oblate{{{0.8, 0.05, 0}, {0.05, 0.8, 0}, {0, 0, 1.9}}}, penny{{{0, 0, 0}, {0, 0, 0}, {0, 0, 0.2}}};
  const contribution::Tensor3 bar{{{0.04, 0.01, 0.01}, {0.01, 0.03, 0.01}, {0.01, 0.01, 0.09}}};
  const contribution::Tensor3 penny_bar{{{0, 0, 0}, {0, 0, 0}, {0, 0, 0.02}}};
  const std::vector<ConductionPhase> insulating = {
      {Kind::pore, 0.08, oblate, 0}, {Kind::pore, 0.05, contribution::Tensor3{{{0.9, 0, 0}, {0, 0.9, 0}, {0, 0, 0.9}}}, 0},
      {Kind::crack, 0.3, penny, 0}};
  const std::vector<contribution::Tensor3> insulating_bars = {bar, bar, penny_bar};
  // Perfect conductors beside pores: monotone under every scheme but
  // Mori-Tanaka, whose concentrations then differ.
  const contribution::Tensor3 conductor{{{-3 / k0 / k0, 0, 0}, {0, -3 / k0 / k0, 0}, {0, 0, -3 / k0 / k0}}};
  const std::vector<ConductionPhase> mixed = {{Kind::pore, 0.08, oblate, 0}, {Kind::inhomogeneity, 0.1, conductor, INFINITY}};
  const struct {
    ConductionScheme scheme;
    const std::vector<ConductionPhase>* phases;
    const std::vector<contribution::Tensor3>* bars;
  } cases[] = {{ConductionScheme::nia, &insulating, &insulating_bars},
               {ConductionScheme::nia_resistivity, &insulating, &insulating_bars},
               {ConductionScheme::mori_tanaka, &insulating, &insulating_bars},
               {ConductionScheme::maxwell, &insulating, &insulating_bars},
               {ConductionScheme::nia, &mixed, &insulating_bars},
               {ConductionScheme::nia_resistivity, &mixed, &insulating_bars},
               {ConductionScheme::maxwell, &mixed, &insulating_bars}};
  std::mt19937 random(19);
  std::uniform_real_distribution<double> unit(-1, 1);
  for (const auto& c : cases) {
    const std::vector<contribution::Tensor3> bars(c.bars->begin(), c.bars->begin() + static_cast<std::ptrdiff_t>(c.phases->size()));
    const fx::ModulusRange range = fx::conductivity_range(c.scheme, k0, *c.phases, bars);
    const double k = fx::conductivity(c.scheme, k0, *c.phases);
    ASSERT_LT(range.low, k) << static_cast<int>(c.scheme);
    ASSERT_GT(range.high, k) << static_cast<int>(c.scheme);
    for (int draw = 0; draw < 200; ++draw) {
      std::vector<ConductionPhase> inside = *c.phases;
      for (std::size_t i = 0; i < inside.size(); ++i)
        for (std::size_t r = 0; r < 3; ++r)
          for (std::size_t col = 0; col < 3; ++col) inside[i].R[r][col] += unit(random) * bars[i][r][col];
      const double drawn = fx::conductivity(c.scheme, k0, inside);
      EXPECT_GE(drawn, range.low - 1e-14) << static_cast<int>(c.scheme) << " draw " << draw;
      EXPECT_LE(drawn, range.high + 1e-14) << static_cast<int>(c.scheme) << " draw " << draw;
    }
  }
  double linear = 0;
  for (std::size_t i = 0; i < insulating.size(); ++i)
    linear += insulating[i].weight * (insulating_bars[i][0][0] + insulating_bars[i][1][1] + insulating_bars[i][2][2]) / 3;
  const double k = fx::nia_conductivity(k0, insulating);
  EXPECT_NEAR(fx::covering_error(k, fx::conductivity_range(ConductionScheme::nia, k0, insulating, insulating_bars)),
              k0 * k0 * linear, 1e-14);
}

TEST(ConductionError, BarsPastASchemesPoleLeaveItUnboundedAndBadInputIsRefused) {
  using fx::ConductionScheme;
  // One insulating family, isotropic part 1, bar 8: at the low end the
  // resistivity form's 1/k, Maxwell's 3 k0 - sum w K and Mori-Tanaka's mean
  // field pass zero; the non-interaction form is linear and stays bounded.
  const contribution::Tensor3 R{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}, wide{{{8, 0, 0}, {0, 8, 0}, {0, 0, 8}}};
  const std::vector<fx::ConductionPhase> pores = {{Kind::pore, 0.5, R, 0}};
  for (const auto& [scheme, bounded] : std::vector<std::pair<ConductionScheme, bool>>{
           {ConductionScheme::nia, true},
           {ConductionScheme::nia_resistivity, false},
           {ConductionScheme::mori_tanaka, false},
           {ConductionScheme::maxwell, false}}) {
    const fx::ModulusRange range = fx::conductivity_range(scheme, 1, pores, {wide});
    EXPECT_EQ(std::isinf(range.high), !bounded) << static_cast<int>(scheme);
    EXPECT_TRUE(std::isfinite(range.low)) << static_cast<int>(scheme);
  }
  const std::vector<fx::ConductionPhase> two_k1 = {{Kind::pore, 0.1, R, 0}, {Kind::inhomogeneity, 0.1, R, 0.5}};
  EXPECT_THROW(fx::conductivity_range(ConductionScheme::mori_tanaka, 1, two_k1, {R, R}), std::invalid_argument);
  EXPECT_NO_THROW(fx::conductivity_range(ConductionScheme::nia, 1, two_k1, {R, R}));
  EXPECT_THROW(fx::conductivity_range(ConductionScheme::nia, 1, pores, {}), std::invalid_argument);
  contribution::Tensor3 negative = R;
  negative[1][1] = -0.1;
  EXPECT_THROW(fx::conductivity_range(ConductionScheme::nia, 1, pores, {negative}), std::invalid_argument);
}

}  // namespace
}  // namespace effective_testing
