#pragma once
// pores.png: the image's three mid-slices (xy at the middle page, xz at the
// middle row, yz at the middle column) with the kept pores coloured by label,
// the dropped ones grey and the solid white. The one place the population
// run draws.
#include "contribution_pores/options.h"
#include "contribution_pores/population.h"

#include <cstdint>
#include <string>
#include <vector>

namespace csolver::pores {

// Cell values of a slice: SOLID, DROPPED, or FIRST_KEPT + (the kept pore's
// colour number, its label cycling through `colours`).
inline constexpr std::uint16_t SOLID = 0, DROPPED = 1, FIRST_KEPT = 2;

struct Slice {
  std::string title;                 // "xy, z = 23"
  std::int32_t width = 0, height = 0;
  std::vector<std::uint16_t> cells;  // cells[v * width + u], v upwards
};

// The three mid-slices; kept pores take FIRST_KEPT + (label - 1) % colours.
std::vector<Slice> mid_slices(const Population& population, std::size_t colours);

// Writes DIR/pores.png when this build can draw; returns the words for the
// console (", pores.png" or why there is none).
std::string draw_pores_picture(const PoresOptions& options, const Population& population);

}  // namespace csolver::pores
