#pragma once
// The levels an inhomogeneity study takes when --M is not given.
#include <cstdint>
#include <vector>

namespace csolver::study_tool {

// The grid on which the shape's thinnest extent is measured.
inline constexpr std::int32_t PROBE_M = 32;

// flags: the shape at M = PROBE_M ((M + 1)^3 nodes, x fastest).
// A shape at least as thick as a sphere of radius 0.5 (16 intervals at
// M = 32 across its thinnest extent) takes 48, 64, 80, 96, 112, 128: void and
// rigid spheres within 1 % with bars near 1 %, where 32 ... 96 left the rigid
// sphere's shear at +1.5 %. A thinner one takes 32, 40, 48, 56, 64, 80, 96
// scaled by 16 / (its intervals), between 4/3 and 2, rounded to multiples of
// 8: the coefficient mean converges along the thinnest axis at the rate that
// axis is resolved, and a void oblate spheroid of aspect 0.4 extrapolates to
// within 3 % only from levels that resolve its thickness as a sphere's
// levels resolve its diameter (docs/study.md).
std::vector<std::int32_t> default_volume_levels(const std::vector<std::int32_t>& flags);

}  // namespace csolver::study_tool
