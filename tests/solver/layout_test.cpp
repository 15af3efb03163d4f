// Whole solves on the octant of the kernel spectra against the half
// spectrum: the layouts differ by rounding only, so BiCGSTAB takes the same
// iterations and reaches the same means.
#include "kernels/volume_kernel.h"
#include "shapes/shapes.h"
#include "solver/inhomogeneity_solver.h"
#include "support/problems.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace csolver {
namespace {

using testing::make_setup;

struct LayoutCase {
  const char* name;
  double E1;
  shapes::Ellipsoid shape;
  int M;
};
void PrintTo(const LayoutCase& c, std::ostream* os) { *os << c.name; }

class SpectrumLayouts : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(SpectrumLayouts, InhomogeneitySolvesAgree) {
  const LayoutCase& c = GetParam();
  const ProblemSetup setup = make_setup(1, 0.3, c.E1, 0.25, c.M);
  const NodeTable nodes = shapes::volume_node_table(c.M, shapes::inside(c.shape));
  const BoxBounds bounds = inhomogeneity_bounds(nodes, setup.h);
  const Box box = build_box(setup, nodes, bounds);
  const std::vector<AxisParities> mirror = volume_kernel_symmetry(setup.formulation, box);
  ASSERT_FALSE(mirror.empty());  // the generated grid is regular
  InhomogeneitySolution solutions[2];
  for (int octant = 0; octant < 2; ++octant) {
    PaddedConvolution conv({bounds.nx, bounds.ny, bounds.nz}, VOLUME_ENTRIES + 1, VOLUME_COMPONENTS,
                           PlannerEffort::estimate, 0, octant ? mirror : std::vector<AxisParities>{});
    build_volume_kernel(setup, box, conv);
    solutions[octant] = solve_load_cases(setup, box, conv, testing::quiet());
  }
  for (std::size_t n = 0; n < 6; ++n) {
    EXPECT_GT(solutions[0].load_cases[n].iterations, 2);
    EXPECT_EQ(solutions[1].load_cases[n].iterations, solutions[0].load_cases[n].iterations) << "load case " << n + 1;
  }
  const Matrix6& half = solutions[0].mean_field;
  EXPECT_LT((solutions[1].mean_field - half).cwiseAbs().maxCoeff(), 1e-13 * half.cwiseAbs().maxCoeff());
}

// A stiff sphere (stiffness formulation), a soft rotated ellipsoid
// (compliance) and a box of odd and even extents.
INSTANTIATE_TEST_SUITE_P(Cases, SpectrumLayouts,
                         ::testing::Values(LayoutCase{"stiff_sphere", 10, {}, 12},
                                           LayoutCase{"soft_ellipsoid", 0.2, {{0.7, 0.45, 0.35}, {0, 0, 0}, {10, 20, 30}}, 14},
                                           LayoutCase{"stiff_ellipsoid", 5, {{0.6, 0.35, 0.5}, {0.05, 0, 0}, {0, 0, 40}}, 13}),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace csolver
