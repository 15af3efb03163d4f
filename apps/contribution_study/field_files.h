#pragma once
// fields.vti of contribution_study --fields: the finest level's solved fields
// on the grid's nodes as VTK image data, for ParaView. Points are the N^3
// nodes (the N^2 nodes of the crack plane, at z = 0) at -1 + i h.
//
// Inhomogeneity: point arrays field_load_1 .. field_load_6, the loads in the
// order 11, 22, 33, 23, 13, 12; each six components in VTK's order of a
// symmetric tensor, 11, 22, 33, 12, 23, 13 (named so), tensor shear; and
// `flag`, the node flags (1 inside).
// Crack: opening_load_1 .. opening_load_3 (unit traction along x, y, z), the
// opening vector (x, y, z); and `flag`.
#include "contribution/solve.h"

#include <cstdint>
#include <string>
#include <vector>

namespace csolver::study_tool {

// `flags`: the level's node flags as solved (x fastest). The result must hold its field.
std::string inhomogeneity_fields_vti(const contribution::InhomogeneityResult& result,
                                     const std::vector<std::int32_t>& flags);
std::string crack_openings_vti(const contribution::CrackResult& result, const std::vector<std::int32_t>& flags);

}  // namespace csolver::study_tool
