#pragma once
// Smooth sampling of a pore onto its grid. Nearest-voxel sampling lays a
// different staircase of the same voxels at every grid size (the grid and the
// voxels alias), so a ladder of grids sees a noisy sequence that no fit reads.
// Here the pore's 0/1 indicator is first smoothed by a Gaussian of `sigma`
// voxels, then interpolated trilinearly at each node and thresholded at 1/2:
// every grid samples one and the same smooth surface, as it would an analytic
// shape. The surface is the level set of the smoothed indicator that encloses
// the pore's voxel volume (not the 1/2 level, which shrinks a convex pore by
// about sigma^2 / R and can lose a pore one voxel thin), found once per pore
// on a sub-voxel sampling, so the grids see the pore's volume and no level
// depends on the grid. sigma = 0 interpolates the raw indicator.
//
// Placement. The 1/2 level of the smoothed indicator lies near the voxels'
// outer faces, not their centres, so here the box's longest side spans its
// full extent n s (not (n - 1) s) across `fill` of the cube's side, centred:
// the pore reaches the cube's faces as the nearest-voxel placement does.
#include "images/pore_grid.h"

namespace csolver::image {

enum class PoreSampling { nearest, smooth };

// "nearest", "smooth".
const char* sampling_name(PoreSampling sampling);
// Throws ImageError for another word.
PoreSampling parse_sampling(const std::string& name);

// The default smoothing width, in voxels (chosen by measurement, docs/pores.md).
inline constexpr double SMOOTHING_SIGMA = 0.7;

// The pore's indicator smoothed by a Gaussian of sigma voxels (per axis,
// in voxels of that axis), on its box padded by `pad` voxels on every side,
// and its volume-keeping level.
struct SmoothedPore {
  std::array<std::int32_t, 3> n{};  // padded size
  std::int32_t pad = 0;
  std::vector<float> value;         // x fastest
  // The level whose set {value > level} holds the pore's voxel volume,
  // measured on 8 samples per voxel.
  double level = 0.5;

  // Trilinear interpolation at crop voxel coordinates (0 at the first voxel
  // centre of the unpadded box); 0 beyond the padded box.
  double at(const Vector3& p) const;
};

SmoothedPore smooth_pore(const Mask& crop, double sigma);

// The pore on a grid of M intervals, sampled smoothly. The fields of PoreGrid
// keep their meaning; `axes` hold this placement, so `position` gives the
// voxel coordinates each node sampled (`voxel` the nearest voxel to it).
// `shift` moves the pore against the nodes by that fraction of a grid step
// per axis (sub-step shifts average out the staircase of one level).
PoreGrid smooth_pore_grid(const Labels& labels, const PoreProperties& pore, std::int32_t M, const Placement& placement,
                          double sigma = SMOOTHING_SIGMA, const Vector3& shift = {0, 0, 0});

}  // namespace csolver::image
