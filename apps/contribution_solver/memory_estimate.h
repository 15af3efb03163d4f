#pragma once
// The memory a run needs, estimated before its large arrays are allocated, so
// that a problem too large for the machine stops at once with a clear message
// instead of swapping or being killed an hour later.
#include "model/problem_setup.h"
#include "numlib/convolution.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace csolver {

class ResourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::size_t node_table_bytes(std::int32_t N);
// With the layout of the kernel spectra that the grid allows: the octant on
// the regular grid, the larger half spectrum off it.
std::size_t inhomogeneity_solver_bytes(const BoxBounds& box, SpectrumLayout layout = SpectrumLayout::octant);
std::size_t crack_solver_bytes(const BoxBounds& grid, SpectrumLayout layout = SpectrumLayout::octant);
std::size_t physical_memory_bytes();

// Throws ResourceError naming the need in GiB when it exceeds the machine.
void require_memory(std::size_t bytes, const char* what);

}  // namespace csolver
