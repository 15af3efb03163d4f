#pragma once
// Small line and point plots: a figure of panels, each with series of points
// or polylines, error bars, axes with ticks and numbers, axis labels and a
// title. Data only: the caller says what to show, this file decides where.
// Made for the grid-refinement picture (one panel per tensor entry: the
// levels' values against h, the fitted curve, the extrapolated value at
// h = 0 with its error bar).
#include "drawing/canvas.h"

#include <cstdint>
#include <string>
#include <vector>

namespace csolver::drawing {

struct Point {
  double x = 0, y = 0;
};

struct Series {
  enum class Style { markers, line };
  std::vector<Point> points;
  Style style = Style::markers;
  Rgb colour = BLACK;
  std::string legend;  // shown in the panel's legend when not empty
};

// A value with its half-width: a marker at (x, y) and a bar from y - half_width to y + half_width.
struct ErrorBar {
  double x = 0, y = 0, half_width = 0;
  Rgb colour = BLACK;
  std::string legend;
};

struct PlotPanel {
  std::string title, x_label, y_label;
  std::vector<Series> series;
  std::vector<ErrorBar> error_bars;
};

struct PlotFigure {
  std::string title;
  std::vector<PlotPanel> panels;
  std::int32_t columns = 3;  // panels per row
  Rgb background = WHITE, text = BLACK;
};

// One axis: the drawn range and the tick values (multiples of 1, 2 or 5
// times a power of ten), the range being whole ticks around the data.
struct Axis {
  double lo = 0, hi = 1;
  std::vector<double> ticks;
  std::string label(double tick) const;  // the number printed at a tick
};

// Where one panel's plot area lies in the picture (pixels, y down) and how
// data map onto it.
struct PlotFrame {
  double left = 0, top = 0, width = 0, height = 0;
  Axis x, y;
  double to_column(double data_x) const { return left + (data_x - x.lo) / (x.hi - x.lo) * width; }
  double to_row(double data_y) const { return top + (y.hi - data_y) / (y.hi - y.lo) * height; }
};

// A nice axis over [lo, hi] with about `target_ticks` ticks; a degenerate
// range (lo == hi) is widened around its value.
Axis nice_axis(double lo, double hi, int target_ticks = 5);

// Checks the figure (finite data, at least one panel, columns >= 1) and lays
// it out on width x height pixels; throws std::invalid_argument naming what is wrong.
std::vector<PlotFrame> layout_plot(const PlotFigure& figure, double width, double height);

void draw_plot(cairo_t* cr, double width, double height, const PlotFigure& figure);

std::string plot_png(const PlotFigure& figure, std::int32_t width, std::int32_t height);

}  // namespace csolver::drawing
