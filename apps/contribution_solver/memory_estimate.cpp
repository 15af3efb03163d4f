#include "contribution_solver/memory_estimate.h"

#include "numlib/convolution.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace csolver {

namespace {
constexpr int VOLUME_KERNELS = 22;  // 21 entries and the Gaussian
constexpr int VOLUME_FIELDS = 7;    // six BiCGSTAB vectors and x
constexpr int CRACK_KERNELS = 5;
constexpr int CRACK_FIELDS = 7;     // six BiCGSTAB vectors and the openings
constexpr std::size_t BOX_BYTES_PER_NODE = 5 * sizeof(double) + sizeof(std::int32_t);

std::vector<int> extents(const BoxBounds& b, int rank) {
  if (rank == 2) return {b.nx, b.ny};
  return {b.nx, b.ny, b.nz};
}
}  // namespace

std::size_t node_table_bytes(std::int32_t N) {
  const auto n = static_cast<std::size_t>(N);
  return n * n * n * (3 * sizeof(double) + sizeof(std::int32_t));
}

// The kernel build (kernel samples, in the half spectrum with one transform's
// output beside them) and the solve (kernel spectra, work spectra and the
// solver's vectors) do not overlap; the box arrays live through both.
std::size_t inhomogeneity_solver_bytes(const BoxBounds& box, SpectrumLayout layout) {
  const std::vector<int> e = extents(box, 3);
  const std::size_t build = PaddedConvolution::estimate_build_bytes(e, VOLUME_KERNELS, layout);
  const std::size_t solve = PaddedConvolution::estimate_bytes(e, VOLUME_KERNELS, 6, default_thread_count(), layout) +
                            box.size() * VOLUME_FIELDS * 6 * sizeof(double);
  return std::max(build, solve) + box.size() * BOX_BYTES_PER_NODE;
}

std::size_t crack_solver_bytes(const BoxBounds& grid, SpectrumLayout layout) {
  const std::vector<int> e = extents(grid, 2);
  const std::size_t build = PaddedConvolution::estimate_build_bytes(e, CRACK_KERNELS, layout);
  const std::size_t solve = PaddedConvolution::estimate_bytes(e, CRACK_KERNELS, 3, default_thread_count(), layout) +
                            grid.size() * CRACK_FIELDS * 3 * sizeof(double);
  return std::max(build, solve) + grid.size() * (2 * sizeof(double) + sizeof(std::int32_t));
}

std::size_t physical_memory_bytes() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return static_cast<std::size_t>(-1);
  return static_cast<std::size_t>(pages) * static_cast<std::size_t>(page_size);
}

void require_memory(std::size_t bytes, const char* what) {
  const std::size_t available = physical_memory_bytes();
  if (bytes <= available) return;
  constexpr double GIB = 1024.0 * 1024.0 * 1024.0;
  char message[256];
  std::snprintf(message, sizeof message, "%s needs about %.1f GiB of memory, but this machine has %.1f GiB", what,
                static_cast<double>(bytes) / GIB, static_cast<double>(available) / GIB);
  throw ResourceError(message);
}

}  // namespace csolver
