// Iterative refinement: corrections solved with a perturbed operator (as the
// single-precision one is a rounded copy of the double one), residuals with
// the exact one, must reach the solution of the exact operator.
#include "solver/refinement.h"

#include <Eigen/Dense>
#include <gtest/gtest.h>

#include <random>

namespace csolver {
namespace {

struct Dense {
  Eigen::MatrixXd A;
  int applications = 0;
  void operator()(std::span<const double> in, std::span<double> out) {
    ++applications;
    const Eigen::Map<const Eigen::VectorXd> x(in.data(), static_cast<Eigen::Index>(in.size()));
    Eigen::Map<Eigen::VectorXd> y(out.data(), static_cast<Eigen::Index>(out.size()));
    y = A * x;
  }
};

TEST(Refinement, ReachesTheExactOperatorsSolutionThroughAPerturbedOne) {
  const int n = 40;
  std::mt19937 random(7);
  std::uniform_real_distribution<double> uniform(-1.0, 1.0);
  Dense exact{Eigen::MatrixXd::Identity(n, n)};
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < n; ++j) exact.A(i, j) += 0.04 * uniform(random);
  std::vector<double> b(n);
  for (double& v : b) v = uniform(random);
  const Eigen::VectorXd direct = exact.A.partialPivLu().solve(Eigen::Map<const Eigen::VectorXd>(b.data(), n));
  // Relative perturbations far larger than single-precision rounding.
  for (double size : {1e-6, 1e-3}) {
    SCOPED_TRACE(size);
    Dense perturbed{exact.A};
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) perturbed.A(i, j) *= 1.0 + size * uniform(random);
    BicgstabWorkspace work(n);
    RefinementWorkspace refinement(n);
    std::vector<double> x(n);
    int last = 0;
    const double tol = 1e-12;
    exact.applications = 0;
    const SolveStatus status = refine(exact, perturbed, b, x, tol, work, refinement, [&](int iteration, double) {
      EXPECT_EQ(iteration, last + 1);  // numbered across the corrections
      last = iteration;
    });
    ASSERT_TRUE(status.converged);
    EXPECT_EQ(status.iterations, last);
    EXPECT_LE(status.error, tol);
    EXPECT_GE(exact.applications, 1);  // at least one correction from a double residual
    for (int i = 0; i < n; ++i) EXPECT_NEAR(x[static_cast<std::size_t>(i)], direct(i), 1e-10);
    // The perturbed operator alone misses by about its perturbation.
    std::vector<double> alone(n);
    BicgstabWorkspace plain(n);
    bicgstab(perturbed, b, alone, tol, plain, [](int, double) {});
    double miss = 0;
    for (int i = 0; i < n; ++i) miss = std::max(miss, std::abs(alone[static_cast<std::size_t>(i)] - direct(i)));
    EXPECT_GT(miss, 1e-3 * size);
  }
}

TEST(Refinement, NeverClaimsToHaveSolvedAnInconsistentSystem) {
  // A zero row against a nonzero right-hand side: no x solves it, so every
  // correction stalls or breaks down; the sum of iterations stays bounded.
  const int n = 6;
  Dense singular{Eigen::MatrixXd::Identity(n, n)};
  singular.A(0, 0) = 0.0;
  singular.A(2, 0) = 0.5;
  Dense perturbed{singular.A * 1.001};
  std::vector<double> b(n, 1.0), x(n);
  BicgstabWorkspace work(n);
  RefinementWorkspace refinement(n);
  const SolveStatus status = refine(singular, perturbed, b, x, 1e-10, work, refinement, [](int, double) {});
  EXPECT_FALSE(status.converged);
  EXPECT_LE(status.iterations, MAX_ITERATIONS);
}

}  // namespace
}  // namespace csolver
