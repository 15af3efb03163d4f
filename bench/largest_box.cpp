// The largest full cubic box of an inhomogeneity that the program's own
// memory estimate lets run in a given memory (default 24 GiB), for both
// layouts of the kernel spectra (octant on the regular grid, half spectrum
// off it), with the estimate's bytes per box node.
// Usage: bench_largest_box [GIB]
#include "api/memory_estimate.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  using namespace csolver;
  const double gib = argc > 1 ? std::atof(argv[1]) : 24.0;
  const double limit = gib * 1024.0 * 1024.0 * 1024.0;
  for (SpectrumLayout layout : {SpectrumLayout::octant, SpectrumLayout::half_spectrum}) {
    auto bytes = [&](int n) { return static_cast<double>(inhomogeneity_solver_bytes({0, 0, 0, n, n, n}, layout)); };
    int n = 1;
    while (bytes(n + 1) <= limit) ++n;
    std::printf("largest_box memory_gib=%.1f threads=%d layout=%s n=%d estimate_gib=%.2f bytes_per_node=%.0f\n", gib,
                default_thread_count(), layout_name(layout), n, bytes(n) / 1024.0 / 1024.0 / 1024.0,
                bytes(n) / (static_cast<double>(n) * n * n));
  }
  return 0;
}
