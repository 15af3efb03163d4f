#include "contribution_solver/memory_estimate.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

TEST(MemoryEstimate, ATooLargeRunStopsWithItsNeedInGiB) {
  // 1500^3 box nodes need terabytes.
  const BoxBounds huge{0, 0, 0, 1500, 1500, 1500};
  EXPECT_GT(inhomogeneity_solver_bytes(huge), std::size_t{1} << 40);
  // Off the regular grid the half spectrum needs more.
  EXPECT_GT(inhomogeneity_solver_bytes(huge, SpectrumLayout::half_spectrum), inhomogeneity_solver_bytes(huge));
  try {
    require_memory(inhomogeneity_solver_bytes(huge), "the solver");
    FAIL();
  } catch (const ResourceError& e) {
    EXPECT_NE(std::string(e.what()).find("the solver needs about"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("GiB"), std::string::npos);
  }
  EXPECT_NO_THROW(require_memory(inhomogeneity_solver_bytes({0, 0, 0, 10, 10, 10}), "a small box"));
  EXPECT_EQ(node_table_bytes(10), 1000u * 28u);
}

}  // namespace
}  // namespace csolver
