#include "contribution_study/default_levels.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>

namespace csolver::study_tool {

namespace {

// Intervals spanned by the flagged nodes along the thinnest axis (0 when
// nothing is flagged or a single node plane is).
std::int32_t thinnest_span(const std::vector<std::int32_t>& flags, std::int32_t M) {
  const std::int32_t N = M + 1;
  std::array<std::int32_t, 3> lo{N, N, N}, hi{-1, -1, -1};
  for (std::int32_t k = 0; k < N; ++k)
    for (std::int32_t j = 0; j < N; ++j)
      for (std::int32_t i = 0; i < N; ++i) {
        const auto n = static_cast<std::size_t>(i) + static_cast<std::size_t>(N) * (static_cast<std::size_t>(j) + static_cast<std::size_t>(N) * static_cast<std::size_t>(k));
        if (flags[n] != 1) continue;
        const std::array<std::int32_t, 3> at{i, j, k};
        for (std::size_t a = 0; a < 3; ++a) {
          lo[a] = std::min(lo[a], at[a]);
          hi[a] = std::max(hi[a], at[a]);
        }
      }
  if (hi[0] < 0) return 0;
  return std::max(0, std::min({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]}));
}

}  // namespace

std::vector<std::int32_t> default_volume_levels(const std::vector<std::int32_t>& flags) {
  constexpr std::int32_t SPHERE_SPAN = 16;  // a sphere of radius 0.5 at M = 32
  const std::int32_t span = thinnest_span(flags, PROBE_M);
  if (span >= SPHERE_SPAN) return {48, 64, 80, 96, 112, 128};
  // From 4/3, where the thin ladder's finest level meets the sphere's 128.
  const double scale = std::clamp(static_cast<double>(SPHERE_SPAN) / std::max(span, 1), 4.0 / 3.0, 2.0);
  std::vector<std::int32_t> levels;
  for (std::int32_t M : {32, 40, 48, 56, 64, 80, 96}) {
    const auto scaled = static_cast<std::int32_t>(8 * std::lround(scale * M / 8));
    if (levels.empty() || scaled > levels.back()) levels.push_back(scaled);
  }
  return levels;
}

}  // namespace csolver::study_tool
