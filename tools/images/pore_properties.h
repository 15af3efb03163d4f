#pragma once
// What each labelled pore is: size, place, extent and the ellipsoid with its
// second moments; and which pores a population study keeps.
//
// Voxel coordinates put voxel centres at integer (x, y, z), the indices of
// the voxel; the bounding box is half-open, [begin, end) per axis. Lengths
// in physical units are voxel coordinates times the voxel size (sx, sy, sz).
#include "images/pore_labels.h"

#include <array>
#include <cstdint>
#include <vector>

namespace csolver::image {

using Vector3 = std::array<double, 3>;
using Matrix3 = std::array<std::array<double, 3>, 3>;

// The solid ellipsoid whose second moments equal the pore's: a solid
// ellipsoid with semi-axes a_i has covariance eigenvalues a_i^2 / 5.
struct EquivalentEllipsoid {
  Vector3 semi_axes{};  // descending, physical length
  // directions[i]: unit vector (x, y, z) along semi_axes[i]. The first two
  // have their largest component (in magnitude) positive, the lower axis
  // winning a tie; the third is their cross product, so the rows form a
  // right-handed frame (the transpose of a rotation from body to image axes).
  // Equal semi-axes leave the directions in their plane arbitrary.
  Matrix3 directions{};
};

struct PoreProperties {
  std::uint32_t label = 0;
  std::int64_t voxels = 0;
  double volume = 0;           // voxels * sx * sy * sz
  double volume_fraction = 0;  // voxels / all voxels of the image
  Vector3 centroid{};          // voxel coordinates
  std::array<std::int32_t, 3> box_begin{}, box_end{};  // half-open, voxel indices
  bool touches_border = false;  // a voxel on a face of the image
  // Covariance of position over the pore taken as the solid union of its
  // voxel boxes (sx x sy x sz about each centre), in physical units squared:
  // the covariance of the voxel centres plus s_a^2 / 12 on the diagonal.
  // A single voxel thus keeps its own extent instead of collapsing to a point.
  Matrix3 second_moments{};
  EquivalentEllipsoid ellipsoid;

  std::array<std::int32_t, 3> box_size() const {
    return {box_end[0] - box_begin[0], box_end[1] - box_begin[1], box_end[2] - box_begin[2]};
  }
};

// Properties of every label, in label order (entry l - 1 is label l).
// One pass over the image, accumulating exact integer sums per run of a label.
std::vector<PoreProperties> pore_properties(const Labels& labels, const Vector3& voxel_size);

// Eigen-decomposition of a symmetric covariance (physical units squared);
// NaN throughout if it fails (only for non-finite moments).
EquivalentEllipsoid equivalent_ellipsoid(const Matrix3& second_moments);

struct PoreFilter {
  std::int64_t min_voxels = 8;  // fewer voxels: noise, or too coarse to resolve
  bool keep_border = false;     // pores cut by the field of view are dropped unless kept
};

struct FilteredPores {
  std::vector<PoreProperties> kept;  // label order
  // Each dropped pore counts once: a pore that is both small and on the
  // border counts as small, so that noise at the faces does not swell the
  // number of real pores the field of view cut.
  std::size_t dropped_small = 0;
  std::size_t dropped_border = 0;
};

// Filters a list of properties.
FilteredPores filter_pores(const std::vector<PoreProperties>& pores, const PoreFilter& filter);

// The same result as filter_pores(pore_properties(labels, voxel_size), filter),
// but the small pores cost 4 bytes each instead of their properties: a noisy
// image holds millions of specks (about 400 bytes each in pore_properties).
FilteredPores select_pores(const Labels& labels, const Vector3& voxel_size, const PoreFilter& filter);

}  // namespace csolver::image
