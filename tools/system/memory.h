#pragma once
// The machine's memory, for front ends that refuse a run that cannot fit
// before allocating for it.
#include <cstddef>

namespace csolver {

std::size_t physical_memory_bytes();

// Throws contribution::ResourceError naming the need in GiB when `bytes`
// exceeds the machine's memory.
void require_physical_memory(std::size_t bytes, const char* what);

}  // namespace csolver
