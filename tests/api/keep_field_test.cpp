// The inhomogeneity's solved field kept on the whole grid: its placement
// (box offset, x fastest) and its component order, checked against the
// mean field the solver reports, which is the same field averaged over the
// inhomogeneity, for both formulations.
#include "contribution/effective.h"
#include "contribution/solve.h"

#include "shapes/shapes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <vector>

namespace contribution {
namespace {

namespace shapes = csolver::shapes;

TEST(KeepField, AveragesToTheMeanFieldInTheStandardOrderAtTheRightNodes) {
  constexpr int M = 12;
  constexpr std::size_t N = M + 1;
  for (const double E1 : {10.0, 0.1}) {
    InhomogeneityProblem p;
    p.inhomogeneity.E = E1;
    p.nodes_per_axis = N;
    // Off the centre and unequal axes: a misplaced box or swapped axes would
    // average over the wrong nodes, swapped shear slots give the wrong entries.
    p.flags = shapes::volume_flags(M, shapes::inside(shapes::Ellipsoid{{0.55, 0.4, 0.3}, {0.2, -0.15, 0.1}, {0, 0, 0}}));
    const std::vector<std::int32_t> flags = p.flags;
    SolveOptions options;
    options.measure_plans = false;
    EXPECT_TRUE(solve_inhomogeneity(p, options).field.empty());
    p.keep_field = true;
    const InhomogeneityResult r = solve_inhomogeneity(p, options);
    ASSERT_EQ(r.field.size(), 36 * N * N * N);

    const effective::Origin origin = r.formulation == Formulation::stiffness
                                         ? effective::Origin::stiffness_formulation
                                         : effective::Origin::compliance_formulation;
    const Tensor6 expected = effective::mean_field_to_standard_order(r.mean_field, origin);
    double inside = 0;
    for (std::int32_t f : flags) inside += f == 1 ? 1 : 0;
    for (std::size_t lc = 0; lc < 6; ++lc)
      for (std::size_t c = 0; c < 6; ++c) {
        const double* slot = &r.field[(lc * 6 + c) * N * N * N];
        double sum = 0;
        for (std::size_t node = 0; node < N * N * N; ++node)
          if (flags[node] == 1) sum += slot[node];
        // mean_field keeps entries of 1e-6 and more; the sums agree to rounding.
        EXPECT_NEAR(sum / inside, expected[lc][c], 1.01e-6) << "E1 = " << E1 << ", load case " << lc << ", component " << c;
      }
    // Off the box (the corner node (0, 0, 0) is far from the shape) nothing was solved.
    for (std::size_t lc = 0; lc < 6; ++lc) EXPECT_EQ(r.field[(lc * 6 + lc) * N * N * N], 0.0);
    // At the node (7, 5, 7) by the shape's centre, load 11 gives a positive component 11.
    EXPECT_GT(r.field[7 + N * (5 + N * 7)], 0.0);
  }
}

}  // namespace
}  // namespace contribution
