#include "api/memory_estimate.h"

#include "contribution/errors.h"
#include "numlib/convolution.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace csolver {

namespace {
constexpr int VOLUME_KERNELS = 22;  // 21 entries and the Gaussian
constexpr int VOLUME_FIELDS = 7;    // six BiCGSTAB vectors and x
constexpr int CRACK_KERNELS = 5;
constexpr int CRACK_FIELDS = 7;     // six BiCGSTAB vectors and the openings
constexpr int MIXED_FIELDS = 2;     // right-hand side and correction of the refinement
constexpr std::size_t BOX_BYTES_PER_NODE = 5 * sizeof(double) + sizeof(std::int32_t);

int thread_count(int threads) { return threads > 0 ? threads : default_thread_count(); }
}  // namespace

// The kernel build (kernel samples, in the half spectrum with one transform's
// output beside them) and the solve (kernel spectra, work spectra and the
// solver's vectors) do not overlap; the box arrays live through both.
std::size_t inhomogeneity_solver_bytes(const BoxBounds& box, SpectrumLayout layout, int threads, bool mixed,
                                       Padding padding) {
  const std::vector<int> e = box.extents(3);
  const std::size_t build = PaddedConvolution::estimate_build_bytes(e, VOLUME_KERNELS, layout, padding);
  std::size_t solve = PaddedConvolution::estimate_bytes(e, VOLUME_KERNELS, 6, thread_count(threads), layout, padding) +
                      box.size() * VOLUME_FIELDS * 6 * sizeof(double);
  // Mixed precision: the kernels and work spectra again in single precision,
  // and the right-hand side and correction of the refinement.
  if (mixed)
    solve += SinglePaddedConvolution::estimate_bytes(e, VOLUME_KERNELS, 6, thread_count(threads), layout, padding) +
             box.size() * MIXED_FIELDS * 6 * sizeof(double);
  return std::max(build, solve) + box.size() * BOX_BYTES_PER_NODE;
}

std::size_t crack_solver_bytes(const BoxBounds& grid, SpectrumLayout layout, int threads, bool mixed,
                               Padding padding) {
  const std::vector<int> e = grid.extents(2);
  const std::size_t build = PaddedConvolution::estimate_build_bytes(e, CRACK_KERNELS, layout, padding);
  std::size_t solve = PaddedConvolution::estimate_bytes(e, CRACK_KERNELS, 3, thread_count(threads), layout, padding) +
                      grid.size() * CRACK_FIELDS * 3 * sizeof(double);
  if (mixed)
    solve += SinglePaddedConvolution::estimate_bytes(e, CRACK_KERNELS, 3, thread_count(threads), layout, padding) +
             grid.size() * MIXED_FIELDS * 3 * sizeof(double);
  return std::max(build, solve) + grid.size() * (2 * sizeof(double) + sizeof(std::int32_t));
}

std::size_t conductivity_solver_bytes(const BoxBounds& box, SpectrumLayout layout, int threads) {
  const std::vector<int> e = box.extents(3);
  constexpr int kernels = 7, components = 3;
  const std::size_t build = PaddedConvolution::estimate_build_bytes(e, kernels, layout);
  const std::size_t solve = PaddedConvolution::estimate_bytes(e, kernels, components, thread_count(threads), layout) +
                            box.size() * VOLUME_FIELDS * components * sizeof(double);
  return std::max(build, solve) + box.size() * (3 * sizeof(double) + sizeof(std::int32_t));
}

std::size_t crack_flux_solver_bytes(const BoxBounds& grid, SpectrumLayout layout, int threads) {
  const std::vector<int> e = grid.extents(2);
  constexpr int kernels = 2;
  const std::size_t build = PaddedConvolution::estimate_build_bytes(e, kernels, layout);
  const std::size_t solve = PaddedConvolution::estimate_bytes(e, kernels, 1, thread_count(threads), layout) +
                            grid.size() * CRACK_FIELDS * sizeof(double);
  return std::max(build, solve) + grid.size() * (2 * sizeof(double) + sizeof(std::int32_t));
}

std::string memory_shortfall(const char* what, std::size_t bytes, std::size_t available) {
  constexpr double GIB = 1024.0 * 1024.0 * 1024.0;
  char message[256];
  std::snprintf(message, sizeof message, "%s needs about %.1f GiB of memory, but this machine has %.1f GiB", what,
                static_cast<double>(bytes) / GIB, static_cast<double>(available) / GIB);
  return message;
}

void require_memory(std::size_t bytes, std::size_t available, const char* what) {
  if (bytes > available) throw contribution::ResourceError(memory_shortfall(what, bytes, available));
}

}  // namespace csolver
