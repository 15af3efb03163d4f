// Labelling and region properties of a large pore image, timed by stage,
// with the peak resident memory.
// Usage: bench_pore_labelling NX NY NZ [balls|noise] [6|26] [all]
//   balls: overlapping balls of radius 2 to 12 voxels at random places, about
//          10 % of the volume (a porous solid; clusters of balls make
//          irregular pores);
//   noise: each voxel inside with probability 0.3 (about a million pores per
//          16 million voxels: the worst case for the per-pore work);
//   all:   also pore_properties of every label, specks included.
#include "images/pore_properties.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <sys/resource.h>

namespace {

double peak_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

csolver::image::Mask make_mask(std::int32_t nx, std::int32_t ny, std::int32_t nz, bool noise) {
  csolver::image::Mask m{nx, ny, nz, std::vector<std::uint8_t>(static_cast<std::size_t>(nx) * ny * nz, 0)};
  std::mt19937_64 random(2024);
  if (noise) {
    std::uniform_int_distribution<std::uint32_t> bits;
    for (std::size_t v = 0; v < m.inside.size(); ++v) m.inside[v] = bits(random) % 10 < 3 ? 1 : 0;
    return m;
  }
  std::uniform_real_distribution<double> unit(0, 1);
  const double mean_ball = 4.0 / 3 * 3.14159 * 7 * 7 * 7;
  const auto balls = static_cast<std::size_t>(0.1 * static_cast<double>(m.inside.size()) / mean_ball);
  for (std::size_t b = 0; b < balls; ++b) {
    const double r = 2 + 10 * unit(random);
    const double c[3] = {unit(random) * nx, unit(random) * ny, unit(random) * nz};
    const std::int32_t lo[3] = {std::max(0, int(c[0] - r)), std::max(0, int(c[1] - r)), std::max(0, int(c[2] - r))};
    const std::int32_t hi[3] = {std::min(nx - 1, int(c[0] + r) + 1), std::min(ny - 1, int(c[1] + r) + 1), std::min(nz - 1, int(c[2] + r) + 1)};
    for (std::int32_t z = lo[2]; z <= hi[2]; ++z)
      for (std::int32_t y = lo[1]; y <= hi[1]; ++y)
        for (std::int32_t x = lo[0]; x <= hi[0]; ++x) {
          const double dx = x - c[0], dy = y - c[1], dz = z - c[2];
          if (dx * dx + dy * dy + dz * dz <= r * r) m.inside[static_cast<std::size_t>(x) + static_cast<std::size_t>(nx) * (y + static_cast<std::size_t>(ny) * z)] = 1;
        }
  }
  return m;
}

// Processor time of all threads: the machine may be shared, so wall time alone misleads.
double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s NX NY NZ [balls|noise] [6|26] [all]\n", argv[0]);
    return 2;
  }
  namespace image = csolver::image;
  const std::int32_t nx = std::atoi(argv[1]), ny = std::atoi(argv[2]), nz = std::atoi(argv[3]);
  const bool noise = argc > 4 && std::string(argv[4]) == "noise";
  const image::Connectivity connectivity = argc > 5 && std::string(argv[5]) == "6" ? image::Connectivity::six : image::Connectivity::twenty_six;
  using clock = std::chrono::steady_clock;
  auto seconds = [](clock::time_point a, clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };

  const auto t0 = clock::now();
  const image::Mask mask = make_mask(nx, ny, nz, noise);
  std::size_t inside = 0;
  for (std::uint8_t v : mask.inside) inside += v;
  const auto t1 = clock::now();
  const double c1 = cpu_seconds();
  std::printf("image %d x %d x %d (%.3g voxels, %s, %.1f %% inside), connectivity %d\n", nx, ny, nz,
              static_cast<double>(mask.inside.size()), noise ? "noise" : "balls", 100.0 * static_cast<double>(inside) / static_cast<double>(mask.inside.size()),
              static_cast<int>(connectivity));
  std::printf("  mask made in %.2f s, peak %.0f MiB\n", seconds(t0, t1), peak_mib());
  const image::Labels labels = image::label_pores(mask, connectivity);
  const auto t2 = clock::now();
  const double c2 = cpu_seconds();
  std::printf("  label_pores: %u pores in %.2f s (cpu %.2f s, %.1f ns per voxel), peak %.0f MiB\n", labels.count, seconds(t1, t2),
              c2 - c1, 1e9 * (c2 - c1) / static_cast<double>(mask.inside.size()), peak_mib());
  const image::FilteredPores kept = image::select_pores(labels, {1, 1, 1}, {});
  const auto t3 = clock::now();
  const double c3 = cpu_seconds();
  std::printf("  select_pores (min 8 voxels, no border): %zu kept, %zu small, %zu on the border; %.2f s (cpu %.2f s), peak %.0f MiB\n",
              kept.kept.size(), kept.dropped_small, kept.dropped_border, seconds(t2, t3), c3 - c2, peak_mib());
  if (argc > 6 && std::string(argv[6]) == "all") {
    const std::vector<image::PoreProperties> pores = image::pore_properties(labels, {1, 1, 1});
    const auto t4 = clock::now();
    std::printf("  pore_properties (all %zu): %.2f s (cpu %.2f s), peak %.0f MiB\n", pores.size(), seconds(t3, t4), cpu_seconds() - c3,
                peak_mib());
  }
  return 0;
}
