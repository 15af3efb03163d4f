#pragma once
// The node table read from input.txt, estimated before it is allocated.
#include <cstddef>
#include <cstdint>

namespace csolver {

// N^2 * planes nodes with three coordinates and a flag each.
std::size_t node_table_bytes(std::int32_t N, std::int32_t planes);

}  // namespace csolver
