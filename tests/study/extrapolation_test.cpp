// The refinement study on sequences with a known limit: clean and with
// staircase-like noise, orders 1, 1.4 and 2, converging from below and from
// above (as cracks do); symmetry zeros; invariances; refusal of bad input.
#include "contribution/study.h"

#include <gtest/gtest.h>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace contribution {
namespace {

std::vector<double> steps(const std::vector<int>& M) {
  std::vector<double> h;
  for (int m : M) h.push_back(2.0 / m);
  return h;
}

// Deterministic noise in [-1, 1] (a linear congruential generator), so that
// the cases are the same on every machine.
struct Noise {
  std::uint64_t state;
  double next() {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state >> 11) / static_cast<double>(1ULL << 53) * 2 - 1;
  }
};

// T0 + A h^p, each level's error term perturbed by +-amplitude of itself:
// the grid staircase moves an entry by a fraction of its discretization error.
std::vector<double> sequence(const std::vector<double>& h, double T0, double A, double p, double amplitude, std::uint64_t seed) {
  Noise noise{seed};
  std::vector<double> v;
  for (double x : h) v.push_back(T0 + A * std::pow(x, p) * (1 + amplitude * noise.next()));
  return v;
}

struct SyntheticCase {
  std::vector<int> M;
  double p, A, amplitude;
};

// The limit lies in the bar; with five or more levels (four if clean) the bar
// is well inside the finest level's own error; on clean data the order is
// found and the limit is exact to rounding.
TEST(Extrapolate, CoversKnownLimitsOfNoisySequences) {
  const std::vector<std::vector<int>> level_sets = {
      {16, 24, 32, 40, 48}, {16, 20, 24, 32, 40, 48}, {24, 32, 48}, {32, 48, 64, 96}, {20, 30, 40, 50, 60, 70, 80, 90, 100, 110},
      {64, 96, 128, 192, 256}};
  const double T0 = 1.7;
  int cases = 0;
  for (const std::vector<int>& M : level_sets)
    for (double p : {1.0, 1.4, 2.0})
      for (double A : {0.5, -2.0})  // from above (cracks) and from below
        for (double amplitude : {0.0, 0.005})
          for (std::uint64_t seed = 1; seed <= (amplitude > 0 ? 5u : 1u); ++seed) {
            const std::vector<double> h = steps(M);
            const std::vector<double> v = sequence(h, T0, A, p, amplitude, seed);
            const Extrapolation e = extrapolate(h, v);
            const double raw = std::abs(v.back() - T0);
            SCOPED_TRACE(::testing::Message() << M.size() << " levels from M = " << M.front() << ", p = " << p << ", A = " << A
                                              << ", noise " << amplitude << " seed " << seed);
            ++cases;
            EXPECT_LE(std::abs(e.value - T0), e.error);
            EXPECT_GT(e.error, 0);
            // Clean: the floor of a quarter of the extrapolation distance sets the bar.
            if (amplitude == 0 && M.size() >= 4) {
              EXPECT_LT(e.error, 0.3 * raw);
            }
            if (amplitude > 0 && M.size() >= 5) {
              EXPECT_LT(e.error, 0.6 * raw);
            }
            if (amplitude == 0 && M.size() >= 4) {
              EXPECT_NEAR(e.order, p, 1e-3);
              EXPECT_FALSE(e.order_at_bound);
              EXPECT_NEAR(e.value, T0, 1e-9 * raw);
            }
          }
  EXPECT_EQ(cases, 6 * 3 * 2 * 6);
}

// Which models stand: on a clean h^1.4 sequence the fixed first and second
// orders are rejected and the free order is found; on a first-order
// sequence every model fits and all agree.
TEST(Extrapolate, ReportsEachModelAndWhichArePlausible) {
  const std::vector<double> h = steps({16, 24, 32, 48, 64, 96});
  const Extrapolation e = extrapolate(h, sequence(h, 2.0, 1.0, 1.4, 0, 0));
  ASSERT_EQ(e.models.size(), 4u);
  EXPECT_EQ(e.models[0].model, RefinementModel::first_order);
  EXPECT_EQ(e.models[1].model, RefinementModel::second_order);
  EXPECT_EQ(e.models[2].model, RefinementModel::free_order);
  EXPECT_EQ(e.models[3].model, RefinementModel::two_term);
  EXPECT_FALSE(e.models[0].plausible);
  EXPECT_FALSE(e.models[1].plausible);
  EXPECT_TRUE(e.models[2].plausible);
  EXPECT_EQ(e.models[2].parameters, 3);
  EXPECT_NEAR(e.models[2].order, 1.4, 1e-4);
  EXPECT_GT(e.models[0].residual_rms, 1e3 * e.models[2].residual_rms);
  EXPECT_STREQ(describe(RefinementModel::free_order), "T + A h^p");
  // The reported curve passes through the clean levels it was fitted to.
  const std::vector<double> clean = sequence(h, 2.0, 1.0, 1.4, 0, 0);
  for (std::size_t i = 0; i < h.size(); ++i) EXPECT_NEAR(evaluate(e.models[2], h[i]), clean[i], 1e-9) << i;
  EXPECT_EQ(evaluate(e.models[2], 0.0), e.models[2].limit);

  const Extrapolation first = extrapolate(h, sequence(h, 2.0, -0.3, 1.0, 0, 0));
  for (const ModelFit& m : first.models) {
    if (m.model == RefinementModel::second_order) continue;  // h^2 alone cannot follow a first-order sequence
    EXPECT_TRUE(m.plausible) << describe(m.model);
    EXPECT_NEAR(m.limit, 2.0, 1e-12) << describe(m.model);
  }
}

// An order outside [0.5, 3] is flagged at the end of the range, and the bar
// still holds the limit: a slow h^0.3 convergence, as at strong contrast.
TEST(Extrapolate, FlagsAnOrderOutsideItsRange) {
  const std::vector<double> h = steps({16, 20, 24, 32, 40, 48});
  const std::vector<double> v = sequence(h, -1.0, 0.05, 0.3, 0, 0);
  const Extrapolation e = extrapolate(h, v);
  EXPECT_TRUE(e.order_at_bound);
  EXPECT_DOUBLE_EQ(e.order, 0.5);
  EXPECT_LE(std::abs(e.value + 1.0), e.error);
}

// Exact zeros stay exact; a constant sequence is its own limit; scaling the
// values scales the result, a shift moves it, and the unit of h does not matter.
TEST(Extrapolate, ZerosConstantsAndInvariances) {
  const std::vector<double> h = steps({16, 24, 32, 40, 48});
  const Extrapolation zero = extrapolate(h, std::vector<double>(5, 0.0));
  EXPECT_EQ(zero.value, 0.0);
  EXPECT_EQ(zero.error, 0.0);
  EXPECT_TRUE(std::isnan(zero.order));
  EXPECT_TRUE(zero.models.empty());

  const Extrapolation constant = extrapolate(h, std::vector<double>(5, -3.25));
  EXPECT_NEAR(constant.value, -3.25, 1e-14);
  EXPECT_LT(constant.error, 1e-10);  // rounding of the fits
  EXPECT_TRUE(std::isnan(constant.order));

  const std::vector<double> v = sequence(h, 0.8, -0.6, 1.3, 0.02, 7);
  const Extrapolation base = extrapolate(h, v);
  std::vector<double> scaled, shifted, coarse_units;
  for (double x : v) scaled.push_back(-250 * x), shifted.push_back(x + 10);
  for (double x : h) coarse_units.push_back(x / 2);  // h measured in units of the grid's half-width
  const Extrapolation s = extrapolate(h, scaled), t = extrapolate(h, shifted), u = extrapolate(coarse_units, v);
  EXPECT_NEAR(s.value, -250 * base.value, 1e-10);
  EXPECT_NEAR(s.error, 250 * base.error, 1e-10);
  EXPECT_NEAR(t.value, base.value + 10, 1e-10);
  EXPECT_NEAR(t.error, base.error, 1e-10);
  EXPECT_NEAR(u.value, base.value, 1e-12);
  EXPECT_NEAR(u.error, base.error, 1e-12);
  EXPECT_NEAR(u.order, base.order, 1e-6);
}

TEST(Extrapolate, RefusesBadLevelsWithClearMessages) {
  const double nan = std::nan(""), inf = INFINITY;
  struct BadCase {
    const char* name;
    std::vector<double> h, v;
    const char* says;
  };
  for (const BadCase& c : {BadCase{"two levels", {0.1, 0.05}, {1, 2}, "at least 3"},
                           BadCase{"sizes differ", {0.1, 0.05, 0.025}, {1, 2}, "3 grid steps but 2 values"},
                           BadCase{"increasing", {0.05, 0.1, 0.025}, {1, 2, 3}, "decrease strictly"},
                           BadCase{"duplicate", {0.1, 0.05, 0.05}, {1, 2, 3}, "decrease strictly"},
                           BadCase{"zero step", {0.1, 0.05, 0}, {1, 2, 3}, "h[2] = 0 is not a positive"},
                           BadCase{"negative step", {0.1, -0.05, -0.1}, {1, 2, 3}, "h[1] = -0.05"},
                           BadCase{"nan step", {0.1, nan, 0.02}, {1, 2, 3}, "not a positive finite"},
                           BadCase{"infinite value", {0.1, 0.05, 0.02}, {1, inf, 3}, "value[1] = inf is not finite"},
                           BadCase{"nan value", {0.1, 0.05, 0.02}, {1, 2, nan}, "value[2]"}}) {
    try {
      extrapolate(c.h, c.v);
      ADD_FAILURE() << c.name << ": accepted";
    } catch (const std::invalid_argument& error) {
      EXPECT_NE(std::string(error.what()).find(c.says), std::string::npos) << c.name << ": " << error.what();
    }
  }
  Tensor6 t{};
  EXPECT_THROW(extrapolate_tensors({0.1, 0.05, 0.02}, {t, t}), std::invalid_argument);
  std::vector<Tensor6> levels(3, t);
  levels[1][2][4] = nan;
  try {
    extrapolate_tensors({0.1, 0.05, 0.02}, levels);
    ADD_FAILURE() << "a NaN entry was accepted";
  } catch (const std::invalid_argument& error) {
    EXPECT_NE(std::string(error.what()).find("entry (3, 5)"), std::string::npos) << error.what();
  }
}

}  // namespace
}  // namespace contribution
