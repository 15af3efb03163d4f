// libFuzzer target: the input reader must turn any byte sequence into either
// a problem or an InputError, never a crash, a hang or undefined behaviour.
#include "contribution_solver/input.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {
// Large grids would only measure the allocator; the reading logic is the same.
void limit_grid(std::int32_t N, std::int32_t /*planes*/) {
  if (N > 24) throw csolver::InputError("input.txt", 0, "grid too large for fuzzing");
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    const csolver::ProblemInput input = csolver::parse_problem(text, "input.txt", limit_grid);
    // A problem that was accepted must be one the solver can take.
    if (input.setup.M < 1 || !(input.setup.tol >= 0) || !(input.setup.E0 > 0)) __builtin_trap();
  } catch (const csolver::InputError&) {
  }
  return 0;
}
