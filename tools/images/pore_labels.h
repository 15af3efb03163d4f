#pragma once
// Connected pores of a 3-D image: the inside voxels of a mask grouped into
// components and numbered.
//
// Conventions (the same in every table that names a pore):
// - voxel (x, y, z) is image column, row, page; x runs fastest in memory;
// - labels are 1..count, 0 is background;
// - pores are numbered in raster order of their first voxel, the one with
//   the smallest index x + nx (y + ny z);
// - connectivity is always stated: scipy.ndimage and scikit-image have
//   opposite defaults, and the pore count depends on it.
#include "images/image_volume.h"

#include <cstdint>
#include <vector>

namespace csolver::image {

enum class Connectivity {
  six = 6,          // voxels that share a face
  twenty_six = 26,  // voxels that share a face, an edge or a corner
};

struct Labels {
  std::int32_t nx = 0, ny = 0, nz = 0;
  std::uint32_t count = 0;            // labels 1..count
  std::vector<std::uint32_t> label;   // per voxel, x fastest; 0 outside every pore
  Connectivity connectivity = Connectivity::twenty_six;

  std::size_t index(std::int32_t x, std::int32_t y, std::int32_t z) const {
    return static_cast<std::size_t>(x) +
           static_cast<std::size_t>(nx) * (static_cast<std::size_t>(y) + static_cast<std::size_t>(ny) * static_cast<std::size_t>(z));
  }
  std::uint32_t at(std::int32_t x, std::int32_t y, std::int32_t z) const { return label[index(x, y, z)]; }
};

// Labels the inside voxels of `mask`. Memory: the 4-byte label per voxel
// plus 4 to 8 bytes (the table grows by doubling) per run of inside voxels
// along x, of which there are at most half as many as voxels;
// no recursion, so a pore of any size or shape is fine.
Labels label_pores(const Mask& mask, Connectivity connectivity = Connectivity::twenty_six);

}  // namespace csolver::image
