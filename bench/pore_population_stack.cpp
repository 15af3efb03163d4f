// A TIFF stack of many separated pores for timing contribution_pores:
// ellipsoids of random semi-axes (3 to 8 voxels) and orientations at random
// places, none touching another or the border, grey 40 in a solid of 200.
// Usage: bench_pore_population_stack FILE.tif COUNT [SEED]
#include "images/image_volume.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_pore_population_stack FILE.tif COUNT [SEED]\n");
    return 2;
  }
  const int count = std::atoi(argv[2]);
  std::mt19937_64 random(argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 7);
  // A cube with room for the pores at about 3 % porosity.
  const auto n = static_cast<std::int32_t>(std::ceil(std::cbrt(count * 4.0 / 3.0 * 3.14159 * 5 * 5 * 4 / 0.03)));
  std::vector<std::uint16_t> grey(static_cast<std::size_t>(n) * n * n, 200);
  std::vector<int> owner(grey.size(), -1);
  std::uniform_real_distribution<double> unit(0, 1);
  int placed = 0;
  for (int attempt = 0; placed < count && attempt < 100 * count; ++attempt) {
    const double a[3] = {3 + 5 * unit(random), 3 + 4 * unit(random), 3 + 2 * unit(random)};
    const double c[3] = {10 + (n - 20) * unit(random), 10 + (n - 20) * unit(random), 10 + (n - 20) * unit(random)};
    // A random rotation from two angles about z and one about y.
    const double p = 2 * M_PI * unit(random), t = std::acos(2 * unit(random) - 1), s = 2 * M_PI * unit(random);
    const double rz1[3][3] = {{std::cos(p), -std::sin(p), 0}, {std::sin(p), std::cos(p), 0}, {0, 0, 1}};
    const double ry[3][3] = {{std::cos(t), 0, std::sin(t)}, {0, 1, 0}, {-std::sin(t), 0, std::cos(t)}};
    const double rz2[3][3] = {{std::cos(s), -std::sin(s), 0}, {std::sin(s), std::cos(s), 0}, {0, 0, 1}};
    double r[3][3] = {}, q[3][3] = {};
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) q[i][j] += ry[i][k] * rz2[k][j];
    for (int i = 0; i < 3; ++i)
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) r[i][j] += rz1[i][k] * q[k][j];
    std::vector<std::size_t> voxels;
    bool clash = false;
    const int reach = 9;
    for (int z = static_cast<int>(c[2]) - reach; z <= static_cast<int>(c[2]) + reach && !clash; ++z)
      for (int y = static_cast<int>(c[1]) - reach; y <= static_cast<int>(c[1]) + reach && !clash; ++y)
        for (int x = static_cast<int>(c[0]) - reach; x <= static_cast<int>(c[0]) + reach; ++x) {
          const double d[3] = {x - c[0], y - c[1], z - c[2]};
          double level = 0;
          for (int k = 0; k < 3; ++k) {
            const double body = r[0][k] * d[0] + r[1][k] * d[1] + r[2][k] * d[2];
            level += body * body / (a[k] * a[k]);
          }
          if (level > 1) continue;
          if (x < 1 || y < 1 || z < 1 || x >= n - 1 || y >= n - 1 || z >= n - 1) {
            clash = true;
            break;
          }
          // No other pore within one voxel, so each ellipsoid stays one pore.
          for (int dz = -1; dz <= 1 && !clash; ++dz)
            for (int dy = -1; dy <= 1 && !clash; ++dy)
              for (int dx = -1; dx <= 1; ++dx)
                if (owner[static_cast<std::size_t>(x + dx) + static_cast<std::size_t>(n) * (static_cast<std::size_t>(y + dy) + static_cast<std::size_t>(n) * static_cast<std::size_t>(z + dz))] >= 0) {
                  clash = true;
                  break;
                }
          voxels.push_back(static_cast<std::size_t>(x) + static_cast<std::size_t>(n) * (static_cast<std::size_t>(y) + static_cast<std::size_t>(n) * static_cast<std::size_t>(z)));
        }
    if (clash || voxels.empty()) continue;
    for (std::size_t v : voxels) {
      owner[v] = placed;
      grey[v] = 40;
    }
    ++placed;
  }
  csolver::image::write_tiff_stack(argv[1], n, n, n, grey, 8);
  std::printf("%s: %d x %d x %d voxels, %d pores (dark: use --threshold 100 --invert)\n", argv[1], n, n, n, placed);
  return placed == count ? 0 : 1;
}
