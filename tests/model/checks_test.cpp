// The one check of a Young's modulus and of a contrast that every front end
// uses: normal positive doubles only, exact 0 and infinity where a solver
// takes those limits, and a contrast within the range the solve resolves.
#include "model/checks.h"

#include <gtest/gtest.h>

#include <limits>

namespace csolver {
namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

TEST(ModulusCheck, NormalPositiveOnlyUnlessTheLimitsAreAllowed) {
  struct Case {
    double E;
    bool plain_ok, limits_ok;
  };
  const double smallest_normal = std::numeric_limits<double>::min();
  for (const Case& c : {Case{1, true, true}, Case{1e300, true, true}, Case{smallest_normal, true, true},
                        Case{smallest_normal / 2, false, false}, Case{1e-320, false, false}, Case{0, false, true},
                        Case{-0.0, false, true}, Case{INF, false, true}, Case{-INF, false, false}, Case{-1, false, false},
                        Case{std::numeric_limits<double>::quiet_NaN(), false, false}}) {
    EXPECT_EQ(young_modulus_problem("E1", c.E).empty(), c.plain_ok) << c.E;
    EXPECT_EQ(young_modulus_problem("E1", c.E, true, true).empty(), c.limits_ok) << c.E;
  }
  EXPECT_NE(young_modulus_problem("E0", 1e-320).find("found E0 = 9.9998886718268301e-321"), std::string::npos);
  EXPECT_NE(young_modulus_problem("E0", 1e-320).find("subnormal"), std::string::npos);
}

TEST(ModulusCheck, ContrastWithinTheResolvedRange) {
  for (const auto& [E0, E1, ok] : {std::tuple{1.0, 1e100, true}, std::tuple{1.0, 1e-100, true}, std::tuple{1e200, 1e299, true},
                                   std::tuple{1.0, 1e101, false}, std::tuple{1e5, 1e-96, false}, std::tuple{1.0, 1e308, false},
                                   // exact limits, and moduli unusable by themselves, are other checks' business
                                   std::tuple{1.0, 0.0, true}, std::tuple{1.0, INF, true}, std::tuple{1e-320, 1.0, true}}) {
    EXPECT_EQ(contrast_problem(E0, E1).empty(), ok) << E0 << " " << E1;
  }
}

}  // namespace
}  // namespace csolver
