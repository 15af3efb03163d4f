#pragma once
// pores.vti of contribution_pores --vtk: the image's voxels as VTK image data
// for ParaView (point (x, y, z) = voxel column, row, page, spaced by the
// voxel size), with point arrays
//   label         UInt32: the kept pore's label (as in pores.csv), 0 for the
//                 solid and for dropped pores;
//   volume, aspect_ratio, H_norm, H33
//                 Float32: that pore's values (pore_values.h) on each of its
//                 voxels, 0 elsewhere; NaN on a pore that was not solved.
#include "contribution_pores/options.h"
#include "contribution_pores/population.h"
#include "contribution_pores/pore_result.h"

#include <string>
#include <vector>

namespace csolver::pores {

// `results[i]` belongs to population.selection.kept[i].
std::string pores_vti(const PoresOptions& options, const Population& population, const std::vector<PoreResult>& results);

}  // namespace csolver::pores
