// Error bars of the effective compliance of pores and cracks: both schemes
// are linear in the H_i, so a bar on each H_i moves S by exactly the
// weighted sum, and the isotropic moduli's ranges are those of the sums
// 1/K and 1/G of the compliance's entries.
#include "contribution/effective_error.h"

#include "effective/support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

}  // namespace
}  // namespace effective_testing
