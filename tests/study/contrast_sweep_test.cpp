// The error bars of a study hold Eshelby's values across the contrasts users
// meet, from nearly matched (E1/E0 = 1.5, where a single coarse grid is 25 %
// off) to nearly rigid (100, where the sequence is not monotone) and nearly
// empty (0.01). Small grids keep this quick; their bars are wide but must
// still be honest.
#include "contribution/study.h"

#include "shapes/shapes.h"
#include "support/analytic.h"

#include <gtest/gtest.h>

#include <cmath>

namespace contribution {
namespace {

TEST(StudyAcrossContrasts, ErrorBarsHoldEshelbysSphere) {
  const std::vector<std::int32_t> levels = {8, 10, 12, 14, 16};
  SolveOptions options;
  options.measure_plans = false;
  for (double ratio : {1.5, 2.0, 5.0, 10.0, 20.0, 100.0, 0.5, 0.1, 0.01}) {
    const Study study = run_inhomogeneity_study(
        [ratio](std::int32_t M) {
          InhomogeneityProblem p;
          p.inhomogeneity = {ratio, 0.3};
          p.nodes_per_axis = M + 1;
          p.flags = csolver::shapes::volume_flags(M, csolver::shapes::inside(csolver::shapes::Ellipsoid{}));
          return p;
        },
        levels, options);
    ASSERT_TRUE(study.extrapolated);
    const csolver::testing::SphereTensor eshelby = csolver::testing::eshelby_sphere(1, 0.3, ratio, 0.3);
    // The shear pairs differ between the formulations, not the sphere's diagonal.
    const struct {
      std::size_t r, c;
      double truth;
      const char* name;
    } entries[] = {{0, 0, eshelby.H11, "H11"}, {0, 1, eshelby.H12, "H12"}, {3, 3, eshelby.H44, "H44"}};
    for (const auto& e : entries) {
      const double value = study.H.value[e.r][e.c], error = study.H.error[e.r][e.c];
      EXPECT_LE(std::abs(value - e.truth), error)
          << "E1/E0 = " << ratio << ", " << e.name << ": " << value << " +- " << error << " against " << e.truth;
    }
  }
}

}  // namespace
}  // namespace contribution
