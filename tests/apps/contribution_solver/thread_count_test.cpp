// Whole solves of both branches on one and on two threads: the parallel
// kernel fill and convolution must leave the iterations and results as they
// are, up to rounding.
#include "contribution_solver/input.h"
#include "api/pipeline.h"
#include "shapes/shapes.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace csolver {
namespace {

ProblemInput problem(bool crack) {
  shapes::Materials materials;
  materials.E1 = 0.2;  // soft: the compliance formulation
  if (crack) {
    shapes::PlanarEllipse e;
    e.a = 0.7;
    e.b = 0.45;
    e.angle_degrees = 25;
    return parse_problem(shapes::input_text(shapes::crack_node_table(14, shapes::inside(e)), materials, true, "crack"),
                         "crack");
  }
  shapes::Ellipsoid e;
  e.semi_axes = {0.7, 0.45, 0.35};
  e.angles_degrees = {10, 20, 30};
  return parse_problem(shapes::input_text(shapes::volume_node_table(12, shapes::inside(e)), materials, false, "ellipsoid"),
                       "ellipsoid");
}

template <class Matrix>
double relative_difference(const Matrix& a, const Matrix& b) {
  return (a - b).cwiseAbs().maxCoeff() / std::max(b.cwiseAbs().maxCoeff(), 1e-300);
}

class ThreadCount : public ::testing::Test {
 protected:
  void TearDown() override { omp_set_num_threads(saved_); }
  int saved_ = omp_get_max_threads();
};

TEST_F(ThreadCount, InhomogeneityRunDoesNotDependOnIt) {
  InhomogeneityRun runs[2];
  for (int t = 0; t < 2; ++t) {
    omp_set_num_threads(t + 1);
    ProblemInput in = problem(false);
    runs[t] = run_inhomogeneity(in.setup, std::move(in.nodes), Progress{}, {PlannerEffort::estimate});
  }
  for (std::size_t n = 0; n < 6; ++n) {
    EXPECT_GT(runs[0].solution.load_cases[n].iterations, 1);
    EXPECT_EQ(runs[0].solution.load_cases[n].iterations, runs[1].solution.load_cases[n].iterations);
  }
  EXPECT_GT(runs[0].solution.mean_field.cwiseAbs().maxCoeff(), 0.0);
  EXPECT_LT(relative_difference(runs[1].solution.mean_field, runs[0].solution.mean_field), 1e-13);
}

TEST_F(ThreadCount, CrackRunDoesNotDependOnIt) {
  CrackRun runs[2];
  for (int t = 0; t < 2; ++t) {
    omp_set_num_threads(t + 1);
    ProblemInput in = problem(true);
    runs[t] = run_crack(in.setup, std::move(in.nodes), Progress{}, {PlannerEffort::estimate});
  }
  for (std::size_t n = 0; n < 3; ++n) {
    EXPECT_GT(runs[0].load_cases[n].iterations, 1);
    EXPECT_EQ(runs[0].load_cases[n].iterations, runs[1].load_cases[n].iterations);
  }
  EXPECT_GT(runs[0].reductions.max_opening.cwiseAbs().maxCoeff(), 0.0);
  EXPECT_LT(relative_difference(runs[1].reductions.max_opening, runs[0].reductions.max_opening), 1e-13);
}

}  // namespace
}  // namespace csolver
