// The inhomogeneity branch end to end, against analytic elasticity and the
// symmetries of the problem.
#include "support/analytic.h"
#include "api/pipeline.h"
#include "shapes/shapes.h"
#include "support/problems.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

using testing::make_setup;
using testing::quiet;

InhomogeneityRun run_ellipsoid(const shapes::Ellipsoid& e, int M, double E1, double n1 = 0.3, double E0 = 1) {
  const ProblemSetup setup = make_setup(E0, 0.3, E1, n1, M);
  return run_inhomogeneity(setup, shapes::volume_node_table(M, shapes::inside(e)), quiet(),
                           {PlannerEffort::estimate});
}

struct SphereCase {
  double E1;
  int M;
  double tolerance;  // of the printed compliance tensor against Eshelby
  Formulation formulation;
};

class EshelbySphere : public ::testing::TestWithParam<SphereCase> {};

// The discretization error shrinks with the grid step: within 5 % at M = 24
// and 1.5 % at M = 40 for a stiff and a soft sphere.
TEST_P(EshelbySphere, ComplianceTensorApproachesEshelby) {
  const SphereCase& c = GetParam();
  const InhomogeneityRun run = run_ellipsoid({}, c.M, c.E1);
  EXPECT_EQ(run.setup.formulation, c.formulation);
  EXPECT_EQ(run.solution.conv_flag, 1);
  EXPECT_EQ(run.tensors.symmetry_flag, 1);
  const testing::SphereTensor exact = testing::eshelby_sphere(1, 0.3, c.E1, 0.3);
  const Matrix6& H = run.tensors.H_tensor;
  for (int a = 0; a < 3; ++a) {
    EXPECT_NEAR(H(a, a) / exact.H11, 1, c.tolerance) << "H" << a + 1 << a + 1;
    EXPECT_NEAR(H(a, (a + 1) % 3) / exact.H12, 1, c.tolerance);
    EXPECT_NEAR(H(3 + a, 3 + a) / exact.H44, 1, c.tolerance);
  }
  // A sphere on a symmetric grid couples no normal to shear components.
  const double coupling = H.block<3, 3>(0, 3).cwiseAbs().maxCoeff();
  EXPECT_EQ(coupling, 0.0);
}

INSTANTIATE_TEST_SUITE_P(
    StiffAndSoft, EshelbySphere,
    ::testing::Values(SphereCase{10, 24, 0.05, Formulation::stiffness}, SphereCase{10, 40, 0.015, Formulation::stiffness},
                      SphereCase{0.1, 24, 0.05, Formulation::compliance},
                      SphereCase{0.1, 40, 0.015, Formulation::compliance}));

TEST(Inhomogeneity, IdenticalMaterialsGiveZeroTensorsAndConverge) {
  const InhomogeneityRun run = run_ellipsoid({}, 12, 1.0);
  EXPECT_EQ(run.solution.conv_flag, 1);
  for (const SolveStatus& s : run.solution.load_cases) {
    EXPECT_TRUE(s.converged);
    EXPECT_EQ(s.iterations, 1);
  }
  EXPECT_TRUE(run.tensors.H_tensor.isZero(0.0));
  EXPECT_TRUE(run.tensors.N_tensor.isZero(0.0));
}

// Turning an ellipsoid by 90 degrees about z (x -> y) permutes the printed
// stiffness-formulation tensor: 11 <-> 22, 13 <-> 23 (shear order 12, 13, 23).
TEST(Inhomogeneity, QuarterTurnPermutesTheTensor) {
  const InhomogeneityRun original = run_ellipsoid({{0.7, 0.45, 0.35}}, 16, 5.0);
  const InhomogeneityRun turned = run_ellipsoid({{0.45, 0.7, 0.35}}, 16, 5.0);
  ASSERT_EQ(original.setup.formulation, Formulation::stiffness);
  const int perm[6] = {1, 0, 2, 3, 5, 4};
  const Matrix6& N = original.tensors.N_tensor;
  const Matrix6& Nt = turned.tensors.N_tensor;
  for (int a = 0; a < 6; ++a)
    for (int b = 0; b < 6; ++b)
      // The node records are -1 + i h, symmetric only to rounding of h.
      EXPECT_NEAR(Nt(perm[a], perm[b]), N(a, b), 1e-6 * (1 + std::abs(N(a, b)))) << a << "," << b;
  EXPECT_GT(std::abs(N(0, 0) - N(1, 1)), 0.05);  // the shape is not symmetric under the turn
}

// Elasticity has no intrinsic stress scale: moduli in MPa instead of units of
// E0 scale H by 1/E0 and N by E0 and change nothing else, in particular no
// entry may be cleaned away (a soft inclusion's H is of order 1e-5 in MPa).
TEST(Inhomogeneity, TensorsScaleWithTheModuli) {
  const double E0 = 70000;
  for (double ratio : {0.1, 10.0}) {
    const InhomogeneityRun unit = run_ellipsoid({{0.6, 0.4, 0.5}}, 12, ratio);
    const InhomogeneityRun physical = run_ellipsoid({{0.6, 0.4, 0.5}}, 12, ratio * E0, 0.3, E0);
    EXPECT_EQ(physical.tensors.symmetry_flag, unit.tensors.symmetry_flag);
    EXPECT_GT(unit.tensors.H_tensor.cwiseAbs().maxCoeff(), 0.1);
    for (int a = 0; a < 6; ++a)
      for (int b = 0; b < 6; ++b) {
        EXPECT_NEAR(physical.tensors.H_tensor(a, b) * E0, unit.tensors.H_tensor(a, b), 1e-9) << ratio;
        EXPECT_NEAR(physical.tensors.N_tensor(a, b) / E0, unit.tensors.N_tensor(a, b), 1e-9) << ratio;
      }
  }
}

// A turned ellipsoid couples normal and shear components. Before
// symmetrization the two coupling blocks of the contrast product must be each
// other's transpose (the tensor is symmetric), in both formulations.
TEST(Inhomogeneity, CouplingBlocksAgreeInBothFormulations) {
  const shapes::Ellipsoid e{{0.8, 0.45, 0.3}, {0, 0, 0}, {40, 0, 35}};
  for (double E1 : {10.0, 0.1}) {
    const InhomogeneityRun run = run_ellipsoid(e, 24, E1);
    Matrix6 P = contrast_product(run.setup, run.solution.mean_field);
    clean_and_reorder(P);
    const double scale = P.block<3, 3>(0, 3).cwiseAbs().maxCoeff();  // NOLINT
    ASSERT_GT(scale, 0.05) << "the shape must couple normal and shear";
    for (int r = 0; r < 3; ++r)
      for (int s = 0; s < 3; ++s) {
        const double upper = P(r, 3 + s), lower = P(3 + s, r);
        if (std::abs(upper) < 0.1 * scale) continue;
        EXPECT_NEAR(upper / lower, 1.0, 0.05) << "E1 = " << E1 << " entry " << r << "," << 3 + s;
      }
  }
}

}  // namespace
}  // namespace csolver
