#pragma once
// A picture of the nodes the program will solve on: three orthogonal
// mid-slices of the flags side by side (xy at z = 0, xz at y = 0, yz at
// x = 0, each with its second axis pointing up), or the crack's plane k = 1,
// each panel labelled.
#include "drawing/raster_panels.h"
#include "model/problem_setup.h"

namespace csolver::preview {

// Cell values of the panels: 0 a node outside, 1 a flagged node.
inline constexpr drawing::Rgb OUTSIDE{45, 45, 55}, INSIDE{240, 190, 60};

drawing::RasterFigure volume_slices(const NodeTable& nodes);
drawing::RasterFigure crack_plane(const NodeTable& nodes);

}  // namespace csolver::preview
