#include "contribution_pores/pores_volume.h"

#include "contribution_pores/pore_values.h"
#include "vtk/image_data.h"

namespace csolver::pores {

std::string pores_vti(const PoresOptions& options, const Population& p, const std::vector<PoreResult>& results) {
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  // Slot of each kept label among the kept pores, + 1; 0 for the others.
  std::vector<std::uint32_t> slot(static_cast<std::size_t>(p.labels.count) + 1, 0);
  std::vector<PoreValues> values;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    slot[kept[i].label] = static_cast<std::uint32_t>(i + 1);
    values.push_back(pore_values(kept[i], results[i], options.materials.E0));
  }
  const std::size_t voxels = p.labels.label.size();
  std::vector<std::uint32_t> label(voxels, 0);
  std::vector<float> volume(voxels, 0), aspect(voxels, 0), norm(voxels, 0), h33(voxels, 0);
  for (std::size_t v = 0; v < voxels; ++v) {
    const std::uint32_t s = slot[p.labels.label[v]];
    if (s == 0) continue;
    const PoreValues& pore = values[s - 1];
    label[v] = p.labels.label[v];
    volume[v] = static_cast<float>(pore.volume);
    aspect[v] = static_cast<float>(pore.aspect_ratio);
    norm[v] = static_cast<float>(pore.H_norm);
    h33[v] = static_cast<float>(pore.H33);
  }
  vtk::ImageGeometry g;
  g.points = {p.nx, p.ny, p.nz};
  g.spacing = options.placement.voxel_size;
  return vtk::image_data_file(g, {vtk::uint32_array("label", label), vtk::float32_array("volume", 1, volume),
                                  vtk::float32_array("aspect_ratio", 1, aspect), vtk::float32_array("H_norm", 1, norm),
                                  vtk::float32_array("H33", 1, h33)});
}

}  // namespace csolver::pores
