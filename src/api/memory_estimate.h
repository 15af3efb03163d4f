#pragma once
// The memory a solve needs, estimated before its large arrays are allocated,
// so that a problem too large for the machine stops at once with a clear
// message instead of swapping or being killed an hour later.
#include "model/problem_setup.h"

#include <cstddef>
#include <string>

namespace csolver {

std::size_t inhomogeneity_solver_bytes(const BoxBounds& box);
std::size_t crack_solver_bytes(const BoxBounds& grid);

// "<what> needs about X GiB of memory, but this machine has Y GiB".
std::string memory_shortfall(const char* what, std::size_t bytes, std::size_t available);

// Throws contribution::ResourceError when `bytes` exceeds `available`.
void require_memory(std::size_t bytes, std::size_t available, const char* what);

}  // namespace csolver
