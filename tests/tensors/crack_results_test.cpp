#include "tensors/crack_results.h"

#include "support/problems.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

TEST(CrackResults, NegativeOpeningsReportZeroAndOnlyMaskOneNodesAreSummed) {
  CrackReductions r;
  // Two nodes, three components each; component 3 negative everywhere.
  const std::vector<double> opening{0.5, -0.1, -2.0, 0.25, 0.3, -1.0};
  const std::vector<std::int32_t> mask{1, 2};
  reduce_crack_load_case(3, opening, mask, r);
  EXPECT_EQ(r.max_opening(2, 0), 0.5);
  EXPECT_EQ(r.max_opening(2, 1), 0.3);
  EXPECT_EQ(r.max_opening(2, 2), 0.0);
  EXPECT_EQ(r.opening_integral(2, 0), 0.5);
  EXPECT_EQ(r.opening_integral(2, 2), -2.0);
}

TEST(CrackResults, TensorsFromTheOpeningIntegrals) {
  const ProblemSetup setup = testing::make_setup(1, 0.3, 1, 0.3, 10, 1e-6, 0);
  CrackReductions r;
  r.opening_integral << 2, 0.1, 0, 0.2, 3, 0, 0, 0, 5;
  const CrackTensors t = compute_crack_tensors(setup, r);
  const double h2 = setup.h * setup.h;
  EXPECT_EQ(t.H_tensor(2, 2), 5 * h2);
  EXPECT_EQ(t.H_tensor(3, 3), 3 * h2);
  EXPECT_EQ(t.H_tensor(4, 4), 2 * h2);
  EXPECT_EQ(t.H_tensor(5, 5), 0.0);
  EXPECT_EQ(t.H_tensor(0, 1), 0.0);
  EXPECT_DOUBLE_EQ(t.N_tensor(3, 3), -setup.G0 * setup.G0 * t.H_tensor(3, 3));
  EXPECT_EQ(t.N_tensor(5, 5), 0.0);
}

}  // namespace
}  // namespace csolver
