#include "images/pore_sampling.h"

#include "shapes/shapes.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>

namespace csolver::image {

const char* sampling_name(PoreSampling sampling) { return sampling == PoreSampling::smooth ? "smooth" : "nearest"; }

PoreSampling parse_sampling(const std::string& name) {
  if (name == "nearest") return PoreSampling::nearest;
  if (name == "smooth") return PoreSampling::smooth;
  throw ImageError("unknown pore sampling '" + name + "' (nearest or smooth)");
}

double SmoothedPore::at(const Vector3& p) const {
  // Padded coordinates; the value is 0 beyond the padded box.
  std::array<std::int32_t, 3> i0{};
  std::array<double, 3> t{};
  for (std::size_t a = 0; a < 3; ++a) {
    const double q = p[a] + pad;
    if (!(q >= 0) || q > n[a] - 1) return 0;
    i0[a] = std::min(static_cast<std::int32_t>(std::floor(q)), n[a] - 2);
    t[a] = q - i0[a];
  }
  auto v = [&](std::int32_t dx, std::int32_t dy, std::int32_t dz) {
    return static_cast<double>(value[static_cast<std::size_t>(i0[0] + dx) +
                                     static_cast<std::size_t>(n[0]) *
                                         (static_cast<std::size_t>(i0[1] + dy) + static_cast<std::size_t>(n[1]) * static_cast<std::size_t>(i0[2] + dz))]);
  };
  double sum = 0;
  for (std::int32_t dz = 0; dz < 2; ++dz)
    for (std::int32_t dy = 0; dy < 2; ++dy)
      for (std::int32_t dx = 0; dx < 2; ++dx)
        sum += (dx ? t[0] : 1 - t[0]) * (dy ? t[1] : 1 - t[1]) * (dz ? t[2] : 1 - t[2]) * v(dx, dy, dz);
  return sum;
}

namespace {

// Separable Gaussian, normalized on its truncated support so that a uniform
// region keeps the value 1.
void blur(SmoothedPore& s, double sigma, std::int32_t radius) {
  std::vector<double> w(static_cast<std::size_t>(2 * radius + 1));
  double total = 0;
  for (std::int32_t k = -radius; k <= radius; ++k) total += w[static_cast<std::size_t>(k + radius)] = std::exp(-0.5 * k * k / (sigma * sigma));
  for (double& x : w) x /= total;
  const std::size_t nx = static_cast<std::size_t>(s.n[0]), ny = static_cast<std::size_t>(s.n[1]);
  const std::array<std::size_t, 3> stride{1, nx, nx * ny};
  std::vector<float> line;
  for (std::size_t a = 0; a < 3; ++a) {
    const std::size_t len = static_cast<std::size_t>(s.n[a]);
    line.resize(len);
    // Every line along axis a: its start runs over the other two axes.
    for (std::size_t start = 0; start < s.value.size(); ++start) {
      if ((start / stride[a]) % len != 0) continue;
      for (std::size_t i = 0; i < len; ++i) line[i] = s.value[start + i * stride[a]];
      for (std::size_t i = 0; i < len; ++i) {
        double sum = 0;
        for (std::int32_t k = -radius; k <= radius; ++k) {
          const std::ptrdiff_t j = static_cast<std::ptrdiff_t>(i) + k;
          if (j >= 0 && j < static_cast<std::ptrdiff_t>(len)) sum += w[static_cast<std::size_t>(k + radius)] * line[static_cast<std::size_t>(j)];
        }
        s.value[start + i * stride[a]] = static_cast<float>(sum);
      }
    }
  }
}

// The level whose superlevel set holds the pore's voxel count, on 2 x 2 x 2
// samples per voxel over the padded box: the keep-th largest sample (keep =
// 8 voxels), midway to the next larger one so that the level lies between
// samples. Two passes (a histogram, then the one bin that holds it) instead
// of storing every sample: a large pore's samples would take 32 bytes per
// voxel of its box.
double volume_level(const SmoothedPore& s, std::int64_t voxels) {
  constexpr std::int32_t q = 2;
  const auto each_sample = [&](auto&& take) {
    for (std::int32_t z = 0; z < q * (s.n[2] - 1); ++z)
      for (std::int32_t y = 0; y < q * (s.n[1] - 1); ++y)
        for (std::int32_t x = 0; x < q * (s.n[0] - 1); ++x)
          take(static_cast<float>(s.at({(x + 0.5) / q - s.pad, (y + 0.5) / q - s.pad, (z + 0.5) / q - s.pad})));
  };
  static constexpr std::int32_t BINS = 1 << 16;  // values lie in [0, 1]
  const auto bin = [](float v) { return std::clamp(static_cast<std::int32_t>(v * BINS), 0, BINS); };
  std::vector<std::size_t> count(BINS + 1, 0);
  std::size_t total = 0;
  each_sample([&](float v) {
    ++count[static_cast<std::size_t>(bin(v))];
    ++total;
  });
  const std::size_t keep = std::min(total - 1, static_cast<std::size_t>(voxels) * q * q * q);
  // Samples in higher bins than b: `larger`; the keep-th largest lies in b.
  std::int32_t b = BINS;
  std::size_t larger = 0;
  while (larger + count[static_cast<std::size_t>(b)] <= keep) larger += count[static_cast<std::size_t>(b--)];
  std::vector<float> in_bin;
  in_bin.reserve(count[static_cast<std::size_t>(b)]);
  float smallest_larger = std::numeric_limits<float>::infinity();
  each_sample([&](float v) {
    const std::int32_t k = bin(v);
    if (k == b) in_bin.push_back(v);
    else if (k > b) smallest_larger = std::min(smallest_larger, v);
  });
  const std::size_t at = keep - larger;
  std::nth_element(in_bin.begin(), in_bin.begin() + static_cast<std::ptrdiff_t>(at), in_bin.end(), std::greater<float>());
  const double below = in_bin[at];
  for (std::size_t i = 0; i < at; ++i) smallest_larger = std::min(smallest_larger, in_bin[i]);
  return 0.5 * (below + smallest_larger);
}

}  // namespace

SmoothedPore smooth_pore(const Mask& crop, double sigma) {
  if (!(sigma >= 0) || !std::isfinite(sigma)) throw ImageError("the smoothing width must be finite and non-negative");
  const std::int32_t radius = sigma > 0 ? static_cast<std::int32_t>(std::ceil(3 * sigma)) : 0;
  SmoothedPore s;
  s.pad = radius + 1;
  s.n = {crop.nx + 2 * s.pad, crop.ny + 2 * s.pad, crop.nz + 2 * s.pad};
  const std::size_t nx = static_cast<std::size_t>(s.n[0]), ny = static_cast<std::size_t>(s.n[1]), nz = static_cast<std::size_t>(s.n[2]);
  s.value.assign(nx * ny * nz, 0.0f);
  std::int64_t voxels = 0;
  for (std::int32_t z = 0; z < crop.nz; ++z)
    for (std::int32_t y = 0; y < crop.ny; ++y)
      for (std::int32_t x = 0; x < crop.nx; ++x)
        if (crop.at(x, y, z)) {
          s.value[static_cast<std::size_t>(x + s.pad) + nx * (static_cast<std::size_t>(y + s.pad) + ny * static_cast<std::size_t>(z + s.pad))] = 1;
          ++voxels;
        }
  if (voxels == 0) throw ImageError("the pore has no voxels in its box");
  if (radius > 0) blur(s, sigma, radius);
  s.level = volume_level(s, voxels);
  return s;
}

PoreGrid smooth_pore_grid(const Labels& labels, const PoreProperties& pore, std::int32_t M, const Placement& placement,
                          double sigma, const Vector3& shift) {
  if (M < 2) throw ImageError("a pore's grid needs at least 2 intervals per axis, got " + std::to_string(M));
  if (!(placement.fill > 0)) throw ImageError("--fill must be positive");
  const Mask crop = crop_pore(labels, pore);
  const std::array<std::int32_t, 3> size{crop.nx, crop.ny, crop.nz};
  double longest = 0;
  for (std::size_t a = 0; a < 3; ++a) {
    if (!(placement.voxel_size[a] > 0)) throw ImageError("voxel sizes must be positive");
    longest = std::max(longest, size[a] * placement.voxel_size[a]);
  }
  const SmoothedPore smoothed = smooth_pore(crop, sigma);
  PoreGrid grid;
  grid.label = pore.label;
  grid.M = M;
  grid.box_begin = pore.box_begin;
  for (std::size_t a = 0; a < 3; ++a) grid.axes[a] = {(size[a] - 1) / 2.0, longest / (2 * placement.fill) / placement.voxel_size[a], size[a]};
  grid.length_per_unit = grid.axes[0].scale * placement.voxel_size[0];
  const std::size_t N = static_cast<std::size_t>(M) + 1;
  grid.flags.assign(N * N * N, 0);
  for (std::int32_t k = 0; k <= M; ++k)
    for (std::int32_t j = 0; j <= M; ++j)
      for (std::int32_t i = 0; i <= M; ++i) {
        const double step = 2.0 / M;
        const Vector3 p{grid.axes[0].centre + (shapes::ideal_coordinate(i, M) + shift[0] * step) * grid.axes[0].scale,
                        grid.axes[1].centre + (shapes::ideal_coordinate(j, M) + shift[1] * step) * grid.axes[1].scale,
                        grid.axes[2].centre + (shapes::ideal_coordinate(k, M) + shift[2] * step) * grid.axes[2].scale};
        if (smoothed.at(p) > smoothed.level) {
          grid.flags[grid.index(i, j, k)] = 1;
          ++grid.flagged;
        }
      }
  return grid;
}

}  // namespace csolver::image
