#pragma once
// Labelled raster panels: slices of a grid or an image side by side, each a
// 2-D array of small integers mapped to colours through a palette, scaled up
// by whole pixels per cell (nearest neighbour, so every cell is a sharp
// square) and titled by a label above it.
#include "drawing/canvas.h"

#include <cstdint>
#include <string>
#include <vector>

namespace csolver::drawing {

struct Raster {
  std::string label;
  std::int32_t width = 0, height = 0;
  // cells[v * width + u]: u to the right, v upwards (row v = 0 is drawn at
  // the bottom), as the axes of a slice are drawn.
  std::vector<std::uint16_t> cells;
};

struct RasterFigure {
  std::vector<Raster> panels;
  std::vector<Rgb> palette;  // cell value -> colour; every cell value must have one
  std::int32_t columns = 0;  // panels per row; 0 puts them all in one row
  // Each panel is scaled up by a whole number of pixels per cell until its
  // longer side reaches this, so that a grid of 20 nodes stays visible.
  std::int32_t min_panel_pixels = 240;
  Rgb background = WHITE, text = BLACK;
};

// Where each panel's cells lie in the picture of the figure's natural size.
struct RasterLayout {
  std::int32_t width = 0, height = 0;  // the whole picture, pixels
  struct Frame {
    std::int32_t left = 0, top = 0;  // the panel's top-left cell corner
    std::int32_t scale = 1;          // pixels per cell
  };
  std::vector<Frame> frames;
  // The pixel (column, row from the top) at the centre of cell (u, v) of panel p.
  std::int32_t pixel_column(std::size_t p, std::int32_t u) const;
  std::int32_t pixel_row(std::size_t p, const Raster& raster, std::int32_t v) const;
};

// Checks the figure (sizes, cell values within the palette) and lays it out;
// throws std::invalid_argument naming what is wrong.
RasterLayout layout_rasters(const RasterFigure& figure);

// Draws the figure scaled to width x height (its natural size is that of
// layout_rasters).
void draw_rasters(cairo_t* cr, double width, double height, const RasterFigure& figure);

// The figure at its natural size as PNG bytes.
std::string rasters_png(const RasterFigure& figure);

}  // namespace csolver::drawing
