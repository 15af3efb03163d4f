#include "tensors/inhomogeneity_results.h"

#include "support/problems.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

using testing::make_setup;

TEST(SymmetryTest, OneSidedRatioBoundOnTheDiagonalBlocks) {
  struct Case {
    double upper_over_lower;
    int flag;
  };
  for (const Case& c : {Case{1.04, 1}, Case{1.06, 0}, Case{0.5, 1}}) {
    Matrix6 P = Matrix6::Identity();
    P(1, 0) = 0.2;
    P(0, 1) = 0.2 * c.upper_over_lower;
    EXPECT_EQ(symmetry_test(P), c.flag) << c.upper_over_lower;
  }
  Matrix6 only_lower = Matrix6::Identity();
  only_lower(3, 4) = 0.3;  // P(b, a) = 0: an infinite ratio fails
  EXPECT_EQ(symmetry_test(only_lower), 0);
  Matrix6 off_block = Matrix6::Identity();
  off_block(0, 3) = 0.7;  // the off-diagonal blocks are not tested
  EXPECT_EQ(symmetry_test(off_block), 1);
}

TEST(ContributionTensors, SymmetrizationCopiesTheLowerLeftBlockUp) {
  Matrix6 P = Matrix6::Identity();
  P(0, 1) = 0.4;
  P(1, 0) = 0.2;
  P(3, 0) = 0.5;
  P(0, 3) = 0.9;
  symmetrize(P);
  EXPECT_DOUBLE_EQ(P(0, 1), 0.3);
  EXPECT_DOUBLE_EQ(P(1, 0), 0.3);
  EXPECT_EQ(P(0, 3), 0.5);
}

TEST(ContributionTensors, CleaningDropsSmallEntriesAndExchangesShearFourAndSix) {
  Matrix6 P = Matrix6::Zero();
  P(0, 3) = 0.5;
  P(0, 5) = 0.25;
  P(1, 1) = 0.0009;  // between the mean-field floor and the small-entry bound
  clean_and_reorder(P);
  EXPECT_EQ(P(0, 5), 0.5);
  EXPECT_EQ(P(0, 3), 0.25);
  EXPECT_EQ(P(1, 1), 0.0);
}

TEST(ContributionTensors, IdenticalMaterialsGiveZeroTensors) {
  const ProblemSetup setup = make_setup(1, 0.3, 1, 0.3, 10);
  Matrix6 mean = Matrix6::Identity() * 0.8;
  mean(0, 1) = 0.0009;
  const InhomogeneityTensors t = compute_contribution_tensors(setup, mean);
  EXPECT_EQ(setup.formulation, Formulation::compliance);
  EXPECT_TRUE(t.H_tensor.isZero(0.0));
  EXPECT_TRUE(t.N_tensor.isZero(0.0));
  EXPECT_EQ(t.symmetry_flag, 1);
  EXPECT_EQ(t.mean_field(0, 1), 0.0009);  // above the mean floor, kept
}

// With the exact Eshelby mean fields of a sphere the product must reproduce
// the analytic tensors, whatever the formulation; N and H are then related by
// the matrix stiffness.
TEST(ContributionTensors, DerivedTensorIsMinusC0HC0) {
  for (double E1 : {10.0, 0.1}) {
    const ProblemSetup setup = make_setup(1, 0.3, E1, 0.3, 10);
    Matrix6 mean = Matrix6::Identity() * 0.5;
    mean(0, 1) = mean(1, 0) = 0.1;
    const InhomogeneityTensors t = compute_contribution_tensors(setup, mean);
    const Matrix6 minus_c0 = -setup.C0;
    const Matrix6 expected = minus_c0 * t.H_tensor * setup.C0;
    EXPECT_TRUE(t.N_tensor.isApprox(expected, 1e-12)) << E1;
  }
}

}  // namespace
}  // namespace csolver
