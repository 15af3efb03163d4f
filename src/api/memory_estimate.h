#pragma once
// The memory a solve needs, estimated before its large arrays are allocated,
// so that a problem too large for the machine stops at once with a clear
// message instead of swapping or being killed an hour later.
#include "model/problem_setup.h"
#include "numlib/convolution.h"

#include <cstddef>
#include <string>

namespace csolver {

// With the layout of the kernel spectra that the grid allows (the octant on
// the regular grid, the larger half spectrum off it) and the threads that
// will share the work (each keeps its own line arrays; 0: all OpenMP threads);
// mixed: with the single-precision copy of the convolution and the vectors of
// iterative refinement; padding: how far the box is padded for the FFTs.
std::size_t inhomogeneity_solver_bytes(const BoxBounds& box, SpectrumLayout layout = SpectrumLayout::octant,
                                       int threads = 0, bool mixed = false, Padding padding = Padding::twice_box);
std::size_t crack_solver_bytes(const BoxBounds& grid, SpectrumLayout layout = SpectrumLayout::octant,
                               int threads = 0, bool mixed = false, Padding padding = Padding::twice_box);

// The conduction solvers: three components and seven kernels per box node, or
// one component and two kernels per crack node.
std::size_t conductivity_solver_bytes(const BoxBounds& box, SpectrumLayout layout = SpectrumLayout::octant,
                                      int threads = 0);
std::size_t crack_flux_solver_bytes(const BoxBounds& grid, SpectrumLayout layout = SpectrumLayout::octant,
                                    int threads = 0);

// "<what> needs about X GiB of memory, but this machine has Y GiB".
std::string memory_shortfall(const char* what, std::size_t bytes, std::size_t available);

// Throws contribution::ResourceError when `bytes` exceeds `available`.
void require_memory(std::size_t bytes, std::size_t available, const char* what);

}  // namespace csolver
