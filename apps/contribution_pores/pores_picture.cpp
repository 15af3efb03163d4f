#include "contribution_pores/pores_picture.h"

#include <algorithm>
#include <vector>

namespace csolver::pores {

namespace {

// Cells of one slice: `at(u, v)` gives the cell value of image position (u, v).
template <class At>
drawing::Raster slice(std::string title, std::int32_t width, std::int32_t height, std::int32_t step, At at) {
  if (step > 1) title += ", sampled every " + std::to_string(step) + " voxels";
  drawing::Raster r{std::move(title), (width + step - 1) / step, (height + step - 1) / step, {}};
  r.cells.reserve(static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height));
  for (std::int32_t v = 0; v < r.height; ++v)
    for (std::int32_t u = 0; u < r.width; ++u) r.cells.push_back(at(u * step, v * step));
  return r;
}

}  // namespace

drawing::RasterFigure mid_slices(const Population& p) {
  std::vector<bool> kept(static_cast<std::size_t>(p.labels.count) + 1, false);
  for (const image::PoreProperties& pore : p.selection.kept) kept[pore.label] = true;
  const auto cell = [&](std::int32_t x, std::int32_t y, std::int32_t z) -> std::uint16_t {
    const std::uint32_t label = p.labels.at(x, y, z);
    if (label == 0) return SOLID;
    if (!kept[label]) return DROPPED;
    return static_cast<std::uint16_t>(FIRST_KEPT + (label - 1) % PORE_COLOURS);
  };
  const std::int32_t mx = p.nx / 2, my = p.ny / 2, mz = p.nz / 2;
  const std::int32_t longest = std::max({p.nx, p.ny, p.nz});
  const std::int32_t step = (longest + LONGEST_PANEL_CELLS - 1) / LONGEST_PANEL_CELLS;
  drawing::RasterFigure figure;
  figure.panels = {
      slice("xy at z = " + std::to_string(mz), p.nx, p.ny, step, [&](std::int32_t x, std::int32_t y) { return cell(x, y, mz); }),
      slice("xz at y = " + std::to_string(my), p.nx, p.nz, step, [&](std::int32_t x, std::int32_t z) { return cell(x, my, z); }),
      slice("yz at x = " + std::to_string(mx), p.ny, p.nz, step, [&](std::int32_t y, std::int32_t z) { return cell(mx, y, z); })};
  // The solid a light grey, so that the image's extent shows on the white page.
  figure.palette = {SOLID_COLOUR, drawing::GREY};
  for (const drawing::Rgb& c : drawing::distinct_colours(PORE_COLOURS)) figure.palette.push_back(c);
  return figure;
}

std::string pores_picture(const Population& population) { return drawing::rasters_png(mid_slices(population)); }

}  // namespace csolver::pores
