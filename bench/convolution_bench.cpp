// One operator application of the inhomogeneity solver's shape (six
// components, 21 packed kernel entries with shear weight 2, plus the Gaussian
// slot) by the literal complex convolution and by the program's convolution
// in both layouts of the kernel spectra (half spectrum; octant of mirror-
// symmetric kernels), side by side, for cubic boxes of 32^3 and 64^3 nodes
// (or the extents given after the repeats: bench_convolution 7 65) and one
// and two threads, in double precision and with the transforms and products
// in single precision (the kernel spectra copied from the double ones, as
// mixed-precision solves make them); the octant also with the box padded to
// sizes of small prime factors (as the library's solves pad it). Prints one line per size,
// layout, padding, precision and thread count:
//   convolution n=64 threads=2 path=octant precision=single literal_ms=... ms=... ratio=... literal_bytes_per_node=... bytes_per_node=... padded=128
// and fails (exit 1) if any disagrees with the literal one by more than 1e-13
// relative (double) or 1e-5 (single).
#include "kernels/volume_kernel.h"
#include "numlib/convolution.h"
#include "support/literal_convolution.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace {

using namespace csolver;

constexpr int KERNELS = 22;
constexpr int COMPONENTS = 6;

Coupling packed_symmetric_coupling() {
  Coupling c{COMPONENTS, COMPONENTS, {}, {1, 1, 1, 2, 2, 2}};
  for (int o = 0; o < COMPONENTS; ++o)
    for (int i = 0; i < COMPONENTS; ++i) {
      const int a = std::min(o, i), b = std::max(o, i);
      c.kernel_of.push_back(a * 6 - a * (a - 1) / 2 + (b - a));
    }
  return c;
}

// The parities of the volume kernel's slots.
const std::vector<AxisParities>& parities() {
  static const std::vector<AxisParities> table = volume_kernel_parities(Formulation::stiffness);
  return table;
}

// A smooth, decaying value, different for every kernel, even or odd along
// each axis with the parities of the volume kernel's entry: the same numbers
// reach every convolution.
double sample(int s, int p, int q, int r) {
  const int d[3] = {p, q, r};
  const double t2 = static_cast<double>(p * p + q * q + r * r);
  const double mixed = static_cast<double>(std::abs(p * q) + 2 * std::abs(q * r) - std::abs(r * p));
  double value = (1.0 + 0.1 * s) / (1.0 + t2) + 0.01 * std::cos(0.3 * s + 0.05 * mixed) / (1.0 + 0.1 * t2);
  for (std::size_t a = 0; a < 3; ++a)
    if (parities()[static_cast<std::size_t>(s)][a] == Parity::odd) value *= d[a] / (1.0 + std::abs(d[a]));
  return value;
}

template <class Convolution>
void fill(Convolution& conv, int n, bool octant) {
  const int first = octant ? 0 : -(n - 1);
  for (int s = 0; s < KERNELS; ++s)
    for (int r = first; r < n; ++r)
      for (int q = first; q < n; ++q)
        for (int p = first; p < n; ++p) {
          std::size_t at = conv.padded_index({p, q, r});
          if constexpr (std::is_same_v<Convolution, PaddedConvolution>)
            if (octant) at = conv.sample_index({p, q, r});
          conv.set_kernel_sample(s, at, sample(s, p, q, r));
        }
  conv.transform_kernels();
}

template <class Apply>
double median_ms(int repeats, Apply apply) {
  apply();  // first touch of every page and cache
  std::vector<double> ms;
  for (int i = 0; i < repeats; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    apply();
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count());
  }
  std::sort(ms.begin(), ms.end());
  return ms[ms.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int repeats = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  std::vector<int> sizes;
  for (int a = 2; a < argc; ++a) sizes.push_back(std::max(1, std::atoi(argv[a])));
  if (sizes.empty()) sizes = {32, 64};
  const Coupling coupling = packed_symmetric_coupling();
  bool agree = true;
  for (int n : sizes) {
    const std::vector<int> box{n, n, n};
    const std::size_t nodes = static_cast<std::size_t>(n) * static_cast<std::size_t>(n) * static_cast<std::size_t>(n);
    std::vector<double> in(nodes * COMPONENTS);
    std::uint64_t state = 12345;
    for (double& v : in) {
      state = state * 6364136223846793005ULL + 1442695040888963407ULL;
      v = static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    }
    std::vector<double> expected(in.size()), out(in.size());
    double literal_ms = 0;
    std::size_t literal_bytes = 0;
    {
      reference::LiteralConvolution literal(box, KERNELS, COMPONENTS, PlannerEffort::measure);
      fill(literal, n, false);
      literal_ms = median_ms(repeats, [&] { literal.apply(coupling, in, expected); });
      literal_bytes = literal.bytes();
    }
    const std::pair<bool, Padding> paths[] = {
        {false, Padding::twice_box}, {true, Padding::twice_box}, {true, Padding::smooth}};
    for (const auto& [octant, padding] : paths) {
      if (padding == Padding::smooth && padded_half(n, padding) == n) continue;  // the same as twice the box
      const std::vector<AxisParities> mirror = octant ? parities() : std::vector<AxisParities>{};
      PaddedConvolution conv(box, KERNELS, COMPONENTS, PlannerEffort::measure, 0, mirror, padding);
      fill(conv, n, octant);
      SinglePaddedConvolution single(conv, PlannerEffort::measure);
      // Times one application per thread count; the same line for either precision.
      auto measure = [&](auto& c, const char* precision, double bound) {
        for (int threads : {1, 2}) {
          c.set_threads(threads);
          c.reset_stage_seconds();
          const double ms = median_ms(repeats, [&] { c.apply(coupling, in, out); });
          const auto& st = c.stage_seconds();
          const double per = 1000.0 / (repeats + 1);
          double diff = 0, scale = 0;
          for (std::size_t i = 0; i < out.size(); ++i) {
            diff = std::max(diff, std::abs(out[i] - expected[i]));
            scale = std::max(scale, std::abs(expected[i]));
          }
          const double relative = diff / scale;
          const char* path = layout_name(c.layout());
          if (!(relative <= bound)) {
            std::fprintf(stderr, "n=%d threads=%d path=%s precision=%s: results differ by %.3g relative\n", n, threads,
                         path, precision, relative);
            agree = false;
          }
          std::printf(
              "convolution n=%d threads=%d path=%s precision=%s literal_ms=%.1f ms=%.1f ratio=%.3f "
              "literal_bytes_per_node=%zu bytes_per_node=%zu padded=%d\n",
              n, threads, path, precision, literal_ms, ms, ms / literal_ms, literal_bytes / nodes, c.bytes() / nodes,
              c.padded_extent()[0]);
          std::fprintf(stderr,
                       "  stages n=%d threads=%d path=%s precision=%s, mean ms per application: x passes with "
                       "gather/scatter %.1f, slabs %.1f (thread ms: y/z forward %.1f, products %.1f, z/y inverse %.1f)"
                       ", relative difference %.2g\n",
                       n, threads, path, precision, st.rows * per, st.slabs * per, st.forward * per,
                       st.products * per, st.inverse * per, relative);
          std::fflush(stdout);
        }
      };
      measure(conv, "double", 1e-13);
      measure(single, "single", 1e-5);
    }
  }
  return agree ? 0 : 1;
}
