#include "images/pore_grid.h"

#include "shapes/shapes.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace csolver::image {

Mask crop_pore(const Labels& labels, const PoreProperties& pore) {
  const std::array<std::int32_t, 3> size = pore.box_size();
  if (pore.label == 0 || pore.label > labels.count || size[0] < 1 || size[1] < 1 || size[2] < 1 || pore.box_begin[0] < 0 ||
      pore.box_begin[1] < 0 || pore.box_begin[2] < 0 || pore.box_end[0] > labels.nx || pore.box_end[1] > labels.ny ||
      pore.box_end[2] > labels.nz)
    throw ImageError("pore " + std::to_string(pore.label) + " does not belong to this labelled image");
  Mask crop{size[0], size[1], size[2], {}};
  crop.inside.reserve(static_cast<std::size_t>(size[0]) * static_cast<std::size_t>(size[1]) * static_cast<std::size_t>(size[2]));
  for (std::int32_t z = pore.box_begin[2]; z < pore.box_end[2]; ++z)
    for (std::int32_t y = pore.box_begin[1]; y < pore.box_end[1]; ++y) {
      const std::uint32_t* row = labels.label.data() + labels.index(0, y, z);
      for (std::int32_t x = pore.box_begin[0]; x < pore.box_end[0]; ++x) crop.inside.push_back(row[x] == pore.label ? 1 : 0);
    }
  return crop;
}

std::int32_t intervals_for(const PoreProperties& pore, double nodes_per_voxel, const Placement& placement) {
  if (!(nodes_per_voxel > 0) || !std::isfinite(nodes_per_voxel)) throw ImageError("nodes per voxel must be positive");
  if (!(placement.fill > 0)) throw ImageError("--fill must be positive");
  const std::array<std::int32_t, 3> size = pore.box_size();
  std::size_t longest = 0;
  for (std::size_t a = 1; a < 3; ++a) {
    const double side = (size[a] - 1) * placement.voxel_size[a];
    const double best = (size[longest] - 1) * placement.voxel_size[longest];
    if (side > best || (side == best && size[a] > size[longest])) longest = a;
  }
  if (size[longest] < 2) throw ImageError("pore " + std::to_string(pore.label) + " is a single voxel; it has no extent to lay onto a grid");
  const double M = std::round(nodes_per_voxel * (size[longest] - 1) / placement.fill);
  if (M > 1e9) throw ImageError("pore " + std::to_string(pore.label) + " would need " + std::to_string(M) + " grid intervals");
  return std::max<std::int32_t>(2, static_cast<std::int32_t>(M));
}

Vector3 PoreGrid::position(std::int32_t i, std::int32_t j, std::int32_t k) const {
  const std::array<std::int32_t, 3> node{i, j, k};
  Vector3 p{};
  for (std::size_t a = 0; a < 3; ++a)
    p[a] = box_begin[a] + axes[a].centre + shapes::ideal_coordinate(node[a], M) * axes[a].scale;
  return p;
}

std::array<std::int32_t, 3> PoreGrid::voxel(std::int32_t i, std::int32_t j, std::int32_t k) const {
  const std::array<std::int32_t, 3> node{i, j, k};
  std::array<std::int32_t, 3> v{};
  for (std::size_t a = 0; a < 3; ++a) {
    const std::int32_t within = axes[a].voxel(shapes::ideal_coordinate(node[a], M));
    if (within < 0) return {-1, -1, -1};
    v[a] = box_begin[a] + within;
  }
  return v;
}

PoreGrid pore_grid(const Labels& labels, const PoreProperties& pore, std::int32_t M, const Placement& placement) {
  if (M < 2) throw ImageError("a pore's grid needs at least 2 intervals per axis, got " + std::to_string(M));
  const Mask crop = crop_pore(labels, pore);
  if (crop.nx == 1 && crop.ny == 1 && crop.nz == 1)
    throw ImageError("pore " + std::to_string(pore.label) + " is a single voxel; it has no extent to lay onto a grid");
  PoreGrid grid;
  grid.label = pore.label;
  grid.M = M;
  grid.box_begin = pore.box_begin;
  grid.axes = volume_axis_maps(crop, placement);
  // The longest side spans 2 fill units of grid coordinate; its voxels are
  // voxel_size apart, so a unit is scale voxel spacings on every axis.
  grid.length_per_unit = grid.axes[0].scale * placement.voxel_size[0];
  NodeTable nodes = shapes::volume_node_table(M, volume_indicator(crop, placement));
  grid.flags = std::move(nodes.node_flag);
  for (std::int32_t flag : grid.flags) grid.flagged += flag == 1 ? 1 : 0;
  return grid;
}

}  // namespace csolver::image
