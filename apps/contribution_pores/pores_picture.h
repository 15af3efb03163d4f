#pragma once
// pores.png: the image's three mid-slices (xy at the middle page, xz at the
// middle row, yz at the middle column, the second axis up) with the kept
// pores coloured by label, the dropped ones grey and the solid light grey.
// The one place the population run draws.
#include "contribution_pores/options.h"
#include "contribution_pores/population.h"
#include "drawing/raster_panels.h"

#include <cstdint>
#include <string>

namespace csolver::pores {

// Cell values: SOLID, DROPPED, or FIRST_KEPT + (label - 1) % colours for a
// kept pore, so that neighbouring labels differ in colour.
inline constexpr std::uint16_t SOLID = 0, DROPPED = 1, FIRST_KEPT = 2;
inline constexpr std::size_t PORE_COLOURS = 20;
inline constexpr drawing::Rgb SOLID_COLOUR{232, 232, 232};
// A slice longer than this is drawn from every k-th voxel (nearest), so that
// the picture of a large scan stays a few thousand pixels wide.
inline constexpr std::int32_t LONGEST_PANEL_CELLS = 800;

drawing::RasterFigure mid_slices(const Population& population);

// The PNG's bytes.
std::string pores_picture(const Population& population);

}  // namespace csolver::pores
