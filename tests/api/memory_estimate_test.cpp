#include "api/memory_estimate.h"

#include "contribution/errors.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

TEST(MemoryEstimate, ATooLargeRunStopsWithItsNeedInGiB) {
  // 1500^3 box nodes need terabytes for the kernel spectra alone.
  const BoxBounds huge{0, 0, 0, 1500, 1500, 1500};
  const std::size_t machine = std::size_t{24} << 30;
  EXPECT_GT(inhomogeneity_solver_bytes(huge), std::size_t{1} << 40);
  // Off the regular grid the half spectrum needs more.
  EXPECT_GT(inhomogeneity_solver_bytes(huge, SpectrumLayout::half_spectrum), inhomogeneity_solver_bytes(huge));
  try {
    require_memory(inhomogeneity_solver_bytes(huge), machine, "the solver");
    FAIL();
  } catch (const contribution::ResourceError& e) {
    EXPECT_NE(std::string(e.what()).find("the solver needs about"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("this machine has 24.0 GiB"), std::string::npos) << e.what();
  }
  EXPECT_NO_THROW(require_memory(inhomogeneity_solver_bytes({0, 0, 0, 10, 10, 10}), machine, "a small box"));
}

}  // namespace
}  // namespace csolver
