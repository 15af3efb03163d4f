#include "contribution_input/preview.h"

#include <cstdio>
#include <string>

namespace csolver::preview {

namespace {

// Fills a panel of N x N cells from flag(u, v), v pointing up.
template <class Flag>
drawing::Raster slice(std::string label, std::int32_t N, Flag flag) {
  drawing::Raster r{std::move(label), N, N, {}};
  r.cells.resize(static_cast<std::size_t>(N) * static_cast<std::size_t>(N));
  for (std::int32_t v = 0; v < N; ++v)
    for (std::int32_t u = 0; u < N; ++u)
      r.cells[static_cast<std::size_t>(v) * static_cast<std::size_t>(N) + static_cast<std::size_t>(u)] = flag(u, v) ? 1 : 0;
  return r;
}

// The mid-slice's coordinate: 0 when M is even, half a step below it when M is odd.
std::string at(const char* axis, std::int32_t N, std::int32_t mid) {
  const std::int32_t M = N - 1;
  if (2 * mid == M) return std::string(" at ") + axis + " = 0";
  char text[48];
  std::snprintf(text, sizeof text, " at %s = %.3g", axis, static_cast<double>(2 * mid - M) / M);
  return text;
}

drawing::RasterFigure figure(std::vector<drawing::Raster> panels) {
  drawing::RasterFigure f;
  f.panels = std::move(panels);
  f.palette = {OUTSIDE, INSIDE};
  return f;
}

}  // namespace

drawing::RasterFigure volume_slices(const NodeTable& nodes) {
  const std::int32_t N = nodes.N, mid = (N - 1) / 2;
  auto flagged = [&nodes](std::int32_t i, std::int32_t j, std::int32_t k) { return nodes.node_flag[nodes.index(i, j, k)] == 1; };
  return figure({slice("xy" + at("z", N, mid), N, [&](std::int32_t u, std::int32_t v) { return flagged(u, v, mid); }),
                 slice("xz" + at("y", N, mid), N, [&](std::int32_t u, std::int32_t v) { return flagged(u, mid, v); }),
                 slice("yz" + at("x", N, mid), N, [&](std::int32_t u, std::int32_t v) { return flagged(mid, u, v); })});
}

drawing::RasterFigure crack_plane(const NodeTable& nodes) {
  return figure({slice("crack plane k = 1", nodes.N,
                       [&nodes](std::int32_t u, std::int32_t v) { return nodes.node_flag[nodes.index(u, v, 0)] == 1; })});
}

}  // namespace csolver::preview
