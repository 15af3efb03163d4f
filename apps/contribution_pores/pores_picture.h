#pragma once
// pores.png: where the kept pores are and what they contribute. Top: the
// image projected along z, y and x (xy, xz, yz, the second axis up), each
// kept pore coloured by E0 |H| (pore_values.h) on a colour scale with its
// bar, unsolved pores black, dropped pores grey, the solid light grey.
// Along a line of sight the smallest pore is drawn, so a small pore is
// not hidden behind a large one (on a stack of separated pores every kept
// pore shows in every projection). Below: the pores' size distribution and
// their aspect ratio against E0 H33. The one place the population run draws.
#include "contribution_pores/options.h"
#include "contribution_pores/pore_result.h"
#include "contribution_pores/population.h"
#include "drawing/plot.h"
#include "drawing/raster_panels.h"

#include <cstdint>
#include <string>
#include <vector>

namespace csolver::pores {

// Cell values of the projections: SOLID, DROPPED, UNSOLVED, or FIRST_LEVEL + l
// for a kept pore whose value falls in level l of COLOUR_LEVELS.
inline constexpr std::uint16_t SOLID = 0, DROPPED = 1, UNSOLVED = 2, FIRST_LEVEL = 3;
inline constexpr std::uint16_t COLOUR_LEVELS = 64;
inline constexpr drawing::Rgb SOLID_COLOUR{232, 232, 232};
inline constexpr drawing::Rgb UNSOLVED_COLOUR{0, 0, 0};
// A projection longer than this is drawn in blocks of k x k voxels (a block
// shows the smallest pore within it), so the picture of a large scan stays a
// few thousand pixels wide and no pore drops between samples.
inline constexpr std::int32_t LONGEST_PANEL_CELLS = 800;

// The colour of level l in [0, COLOUR_LEVELS): dark blue through green to yellow.
drawing::Rgb level_colour(std::size_t level);

// The values pores are coloured by (E0 |H|, NaN if unsolved), one per kept pore.
struct ColourScale {
  double lo = 0, hi = 0;  // the range of the finite values
  std::uint16_t cell(double value) const;  // UNSOLVED for NaN, else FIRST_LEVEL + level
};
ColourScale colour_scale(const std::vector<double>& values);

// `colour_values[i]` belongs to population.selection.kept[i].
drawing::RasterFigure projections(const Population& population, const std::vector<double>& colour_values,
                                  const ColourScale& scale);

// The population plots: size distribution (equivalent diameter) and aspect
// ratio against E0 H33 of the solved pores.
drawing::PlotFigure population_plots(const Population& population, const std::vector<PoreResult>& results, double E0);

// The PNG's bytes. `results[i]` belongs to population.selection.kept[i].
std::string pores_picture(const Population& population, const std::vector<PoreResult>& results, double E0);

}  // namespace csolver::pores
