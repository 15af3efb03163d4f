#pragma once
// Checks and conversions that every solving interface of the library shares:
// grid sizes and coordinates, run options, progress hooks, result records.
#include "api/pipeline.h"
#include "contribution/solve.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace contribution::detail {

// 1290^3 < 2^31: node counts of a volume grid stay 32-bit, as in input.txt.
inline constexpr std::int32_t LARGEST_VOLUME_N = 1290;
// 46341^2 > 2^31: the crack plane's node count stays 32-bit.
inline constexpr std::int32_t LARGEST_PLANE_N = 46340;

// Throws InvalidProblem with the message, if any.
void require(const std::string& problem);

// The number of grid nodes, N^rank, once N is known to be usable.
std::size_t check_grid(std::int32_t N, int rank, std::int32_t largest, std::size_t flags);

// Coordinates are optional, but given for every axis of the grid or none.
void check_coordinates(std::initializer_list<const std::vector<double>*> axes, std::size_t nodes);

csolver::RunOptions run_options(const SolveOptions& options);

// The solver's hooks, calling the options' callback; a false answer throws Cancelled.
csolver::Progress progress_hooks(const SolveOptions& options);

Box box_of(const csolver::BoxBounds& b);
KernelSpectra spectra_of(csolver::SpectrumLayout layout);

// An Eigen matrix into a plain array.
template <int Rows, int Cols, class Matrix>
std::array<std::array<double, Cols>, Rows> to_array(const Matrix& m) {
  std::array<std::array<double, Cols>, Rows> out{};
  for (int r = 0; r < Rows; ++r)
    for (int c = 0; c < Cols; ++c) out[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = m(r, c);
  return out;
}

}  // namespace contribution::detail
