#include "solver/bicgstab.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <random>

namespace csolver {
namespace {

struct DenseOperator {
  Eigen::MatrixXd A;
  int applications = 0;
  void operator()(std::span<const double> in, std::span<double> out) {
    ++applications;
    const Eigen::Map<const Eigen::VectorXd> x(in.data(), static_cast<Eigen::Index>(in.size()));
    Eigen::Map<Eigen::VectorXd> y(out.data(), static_cast<Eigen::Index>(out.size()));
    y = A * x;
  }
};

TEST(Bicgstab, SolvesANonsymmetricSystemLikeADirectSolve) {
  const int n = 12;
  std::mt19937 random(3);
  std::uniform_real_distribution<double> uniform(-0.3, 0.3);
  DenseOperator op{Eigen::MatrixXd::Identity(n, n)};
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) op.A(i, j) += uniform(random);
  std::vector<double> b(n), x(n);
  for (double& v : b) v = uniform(random);
  BicgstabWorkspace work(n);
  std::vector<double> errors;
  const SolveStatus status = bicgstab(op, b, x, 1e-12, work, [&](int, double e) { errors.push_back(e); });
  ASSERT_TRUE(status.converged);
  EXPECT_EQ(status.breakdown, Breakdown::none);
  EXPECT_EQ(static_cast<int>(errors.size()), status.iterations);
  EXPECT_LE(status.error, 1e-12);
  const Eigen::VectorXd direct = op.A.partialPivLu().solve(Eigen::Map<const Eigen::VectorXd>(b.data(), n));
  for (int i = 0; i < n; ++i) EXPECT_NEAR(x[static_cast<std::size_t>(i)], direct(i), 1e-10);
}

// The identity: the half-step residual vanishes in the first iteration. The
// system is solved (x = b); it must end converged, not divide 0 by 0.
TEST(Bicgstab, VanishingHalfStepResidualEndsConverged) {
  DenseOperator op{Eigen::MatrixXd::Identity(4, 4)};
  std::vector<double> b{1, 0, 2, 0}, x(4);
  BicgstabWorkspace work(4);
  int lines = 0;
  const SolveStatus status = bicgstab(op, b, x, 1e-30, work, [&](int, double) { ++lines; });
  EXPECT_TRUE(status.converged);
  EXPECT_EQ(status.iterations, 1);
  EXPECT_EQ(lines, 1);
  EXPECT_EQ(x, b);
  EXPECT_DOUBLE_EQ(status.error, std::sqrt(5.0));
}

// Singular operators: each other zero denominator stops at once, unconverged,
// instead of running 200 iterations on undefined values.
TEST(Bicgstab, BreakdownsStopAtOnceUnconverged) {
  struct Case {
    Eigen::MatrixXd A;
    std::vector<double> b;
    Breakdown expected;
  };
  Eigen::MatrixXd zero = Eigen::MatrixXd::Zero(2, 2);
  Eigen::MatrixXd rotation(2, 2);
  rotation << 0, -1, 1, 0;  // <b, A b> = 0 for every b
  Eigen::MatrixXd nan_matrix = Eigen::MatrixXd::Constant(2, 2, std::nan(""));
  const std::vector<Case> cases{{zero, {1, 1}, Breakdown::zero_r_hat_v},
                                {rotation, {1, 0}, Breakdown::zero_r_hat_v},
                                {nan_matrix, {1, 0}, Breakdown::non_finite},
                                {Eigen::MatrixXd::Identity(2, 2), {0, 0}, Breakdown::zero_rho}};
  for (const Case& c : cases) {
    DenseOperator op{c.A};
    std::vector<double> x(2);
    BicgstabWorkspace work(2);
    const SolveStatus status = bicgstab(op, c.b, x, 1e-8, work, [](int, double) {});
    EXPECT_FALSE(status.converged);
    EXPECT_EQ(status.breakdown, c.expected) << describe(status.breakdown);
    EXPECT_EQ(status.iterations, 1);
  }
}

TEST(Bicgstab, ErrorEqualToTheToleranceCountsAsConverged) {
  DenseOperator op{Eigen::MatrixXd::Identity(2, 2) * 2.0};
  op.A(0, 1) = 0.5;
  std::vector<double> b{1, 1}, x(2);
  BicgstabWorkspace work(2);
  double first_error = 0;
  bicgstab(op, b, x, 0.0, work, [&](int iter, double e) {
    if (iter == 1) first_error = e;
  });
  const SolveStatus again = bicgstab(op, b, x, first_error, work, [](int, double) {});
  EXPECT_TRUE(again.converged);
  EXPECT_EQ(again.iterations, 1);
}

TEST(Bicgstab, StopsAfterTwoHundredIterationsWithoutConvergence) {
  // A spread spectrum and a tolerance far below rounding: the update norm
  // never gets there, so the iteration must end at the cap.
  const int n = 300;
  DenseOperator op{Eigen::MatrixXd::Zero(n, n)};
  for (int i = 0; i < n; ++i) op.A(i, i) = std::pow(10.0, 4.0 * i / n);
  std::vector<double> b(n, 1.0), x(n);
  BicgstabWorkspace work(n);
  int lines = 0;
  const SolveStatus status = bicgstab(op, b, x, 1e-300, work, [&](int, double) { ++lines; });
  EXPECT_FALSE(status.converged);
  EXPECT_EQ(status.breakdown, Breakdown::none);
  EXPECT_EQ(status.iterations, MAX_ITERATIONS);
  EXPECT_EQ(lines, MAX_ITERATIONS);
}

}  // namespace
}  // namespace csolver
