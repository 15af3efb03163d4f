#include "contribution_solver/memory_estimate.h"

namespace csolver {

std::size_t node_table_bytes(std::int32_t N, std::int32_t planes) {
  const auto n = static_cast<std::size_t>(N);
  return n * n * static_cast<std::size_t>(planes) * (3 * sizeof(double) + sizeof(std::int32_t));
}

}  // namespace csolver
