#include "contribution_pores/pores_picture.h"

#include <algorithm>

namespace csolver::pores {

std::vector<Slice> mid_slices(const Population& p, std::size_t colours) {
  std::vector<bool> kept(static_cast<std::size_t>(p.labels.count) + 1, false);
  for (const image::PoreProperties& pore : p.selection.kept) kept[pore.label] = true;
  const auto cell = [&](std::int32_t x, std::int32_t y, std::int32_t z) -> std::uint16_t {
    const std::uint32_t label = p.labels.at(x, y, z);
    if (label == 0) return SOLID;
    if (!kept[label]) return DROPPED;
    return static_cast<std::uint16_t>(FIRST_KEPT + (label - 1) % std::max<std::size_t>(colours, 1));
  };
  const std::int32_t mx = p.nx / 2, my = p.ny / 2, mz = p.nz / 2;
  std::vector<Slice> slices(3);
  slices[0] = {"xy, z = " + std::to_string(mz), p.nx, p.ny, {}};
  for (std::int32_t y = 0; y < p.ny; ++y)
    for (std::int32_t x = 0; x < p.nx; ++x) slices[0].cells.push_back(cell(x, y, mz));
  slices[1] = {"xz, y = " + std::to_string(my), p.nx, p.nz, {}};
  for (std::int32_t z = 0; z < p.nz; ++z)
    for (std::int32_t x = 0; x < p.nx; ++x) slices[1].cells.push_back(cell(x, my, z));
  slices[2] = {"yz, x = " + std::to_string(mx), p.ny, p.nz, {}};
  for (std::int32_t z = 0; z < p.nz; ++z)
    for (std::int32_t y = 0; y < p.ny; ++y) slices[2].cells.push_back(cell(mx, y, z));
  return slices;
}

std::string draw_pores_picture(const PoresOptions&, const Population&) {
  // The Cairo drawing layer (tools/drawing) is not part of this build yet:
  // once it is, the slices above become its raster panels here.
  return " (pores.png: no drawing layer in this build)";
}

}  // namespace csolver::pores
