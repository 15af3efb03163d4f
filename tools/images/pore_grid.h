#pragma once
// One pore on its own grid: the pore's bounding box, holding only that
// pore's voxels, laid onto the cube [-1, 1]^3 by the rule contribution_input
// uses for any image (Placement, volume_indicator, volume_node_table): the
// box is centred, keeps its aspect, its longest side between the first and
// last voxel centres spans `fill` of the cube's side, and each node takes the
// nearest voxel. The flags therefore equal those contribution_input writes
// for the cropped pore saved as an image, with the same --M, --voxel, --fill.
#include "images/pore_properties.h"

#include <array>
#include <cstdint>
#include <vector>

namespace csolver::image {

// The pore's bounding box as a mask, inside where the voxel carries the
// pore's label: other pores reaching into the box are outside.
Mask crop_pore(const Labels& labels, const PoreProperties& pore);

// Grid intervals for a sampling density. nodes_per_voxel is the number of
// grid intervals per voxel spacing along the box's longest side (physical
// length (n - 1) s between its first and last voxel centres; a tie goes to
// the side with more voxels):
//   M = max(2, round(nodes_per_voxel * (n - 1) / fill)).
// With fill 1 and a whole nodes_per_voxel k, nodes fall on every voxel centre
// of that side and k - 1 between neighbours. Other sides with other voxel
// sizes get proportionally more or fewer nodes per voxel.
std::int32_t intervals_for(const PoreProperties& pore, double nodes_per_voxel, const Placement& placement);

struct PoreGrid {
  std::uint32_t label = 0;
  std::int32_t M = 0;                // intervals per axis; N = M + 1 nodes per axis
  std::vector<std::int32_t> flags;   // N^3, node (i, j, k) at i + N (j + N k); 1 in the pore, 0 outside
  std::size_t flagged = 0;

  // Grid to image. Node (i, j, k) lies at ideal coordinates
  // xi_a = (2 i_a - M) / M; along axis a it samples the voxel
  //   box_begin[a] + axes[a].voxel(xi_a)       (full-image index; -1 outside the box),
  // the nearest to voxel coordinate box_begin[a] + axes[a].centre + xi_a * axes[a].scale.
  std::array<std::int32_t, 3> box_begin{};
  std::array<AxisMap, 3> axes{};  // within the box
  // Physical length of one unit of grid coordinate (the cube's side is 2
  // units): lengths and volumes on the grid scale back to the image by it.
  double length_per_unit = 0;

  std::size_t index(std::int32_t i, std::int32_t j, std::int32_t k) const {
    const auto n = static_cast<std::size_t>(M) + 1;
    return static_cast<std::size_t>(i) + n * (static_cast<std::size_t>(j) + n * static_cast<std::size_t>(k));
  }
  // Voxel coordinates (full image, not rounded) of node (i, j, k).
  Vector3 position(std::int32_t i, std::int32_t j, std::int32_t k) const;
  // The full-image voxel node (i, j, k) samples, or {-1, -1, -1} outside the box.
  std::array<std::int32_t, 3> voxel(std::int32_t i, std::int32_t j, std::int32_t k) const;
};

// Throws ImageError for M < 2 or a pore of a single voxel (no extent to lay
// onto the cube). The node table is built whole: the caller checks memory
// for (M + 1)^3 nodes first.
PoreGrid pore_grid(const Labels& labels, const PoreProperties& pore, std::int32_t M, const Placement& placement);

}  // namespace csolver::image
