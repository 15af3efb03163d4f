#include "drawing/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <stdexcept>

namespace csolver::drawing {

namespace {

// Pixels: the figure's title band and legend band, and each panel's margins
// around its plot area (room for the title, the tick numbers and the axis labels).
constexpr double TITLE_BAND = 34, LEGEND_BAND = 24, OUTER = 8;
constexpr double PANEL_TOP = 26, PANEL_LEFT = 84, PANEL_BOTTOM = 48, PANEL_RIGHT = 16;
constexpr double TITLE_FONT = 16, PANEL_FONT = 14, TICK_FONT = 11;
constexpr double MARKER_RADIUS = 3.5, TICK_LENGTH = 5, CAP_HALF_WIDTH = 6;
constexpr Rgb FRAME{60, 60, 60}, GRID{225, 225, 225};

double nice_step(double rough) {
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  const double fraction = rough / power;
  return (fraction <= 1.0 ? 1.0 : fraction <= 2.0 ? 2.0 : fraction <= 5.0 ? 5.0 : 10.0) * power;
}

// The nice step below `step` (which is 1, 2 or 5 times a power of ten).
double smaller_step(double step) {
  const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
  const double mantissa = step / power;
  return mantissa > 4 ? 2 * power : mantissa > 1.5 ? power : 0.5 * power;
}

void check_finite(double v, const std::string& what) {
  if (!std::isfinite(v)) throw std::invalid_argument("plot: " + what + " is not a finite number");
}

struct Range {
  double lo = std::numeric_limits<double>::infinity(), hi = -std::numeric_limits<double>::infinity();
  void add(double v) { lo = std::min(lo, v), hi = std::max(hi, v); }
  bool empty() const { return lo > hi; }
};

void show_text_at(cairo_t* cr, const std::string& text, double x, double y, double align_x, double align_y) {
  cairo_text_extents_t e;
  cairo_text_extents(cr, text.c_str(), &e);
  cairo_move_to(cr, x - e.x_bearing - align_x * e.width, y - e.y_bearing - align_y * e.height);
  cairo_show_text(cr, text.c_str());
}

void marker(cairo_t* cr, double x, double y) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x, y, MARKER_RADIUS, 0, 2 * std::numbers::pi);
  cairo_fill(cr);
}

void diamond(cairo_t* cr, double x, double y) {
  const double r = MARKER_RADIUS * 1.5;
  cairo_move_to(cr, x, y - r);
  cairo_line_to(cr, x + r, y);
  cairo_line_to(cr, x, y + r);
  cairo_line_to(cr, x - r, y);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void error_bar(cairo_t* cr, const PlotFrame& f, const ErrorBar& b) {
  const double x = f.to_column(b.x), lo = f.to_row(b.y - b.half_width), hi = f.to_row(b.y + b.half_width);
  set_colour(cr, b.colour);
  cairo_set_line_width(cr, 2);
  cairo_move_to(cr, x, lo);
  cairo_line_to(cr, x, hi);
  cairo_move_to(cr, x - CAP_HALF_WIDTH, lo);
  cairo_line_to(cr, x + CAP_HALF_WIDTH, lo);
  cairo_move_to(cr, x - CAP_HALF_WIDTH, hi);
  cairo_line_to(cr, x + CAP_HALF_WIDTH, hi);
  cairo_stroke(cr);
  diamond(cr, x, f.to_row(b.y));
}

void polyline(cairo_t* cr, const PlotFrame& f, const std::vector<Point>& points) {
  for (std::size_t i = 0; i < points.size(); ++i)
    (i == 0 ? cairo_move_to : cairo_line_to)(cr, f.to_column(points[i].x), f.to_row(points[i].y));
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
}

void draw_axes(cairo_t* cr, const PlotFrame& f, const PlotPanel& panel, Rgb text) {
  set_colour(cr, GRID);
  cairo_set_line_width(cr, 1);
  for (double t : f.x.ticks) {
    cairo_move_to(cr, std::round(f.to_column(t)) + 0.5, f.top);
    cairo_line_to(cr, std::round(f.to_column(t)) + 0.5, f.top + f.height);
  }
  for (double t : f.y.ticks) {
    cairo_move_to(cr, f.left, std::round(f.to_row(t)) + 0.5);
    cairo_line_to(cr, f.left + f.width, std::round(f.to_row(t)) + 0.5);
  }
  cairo_stroke(cr);

  set_colour(cr, FRAME);
  cairo_rectangle(cr, f.left, f.top, f.width, f.height);
  for (double t : f.x.ticks) {
    cairo_move_to(cr, f.to_column(t), f.top + f.height);
    cairo_line_to(cr, f.to_column(t), f.top + f.height + TICK_LENGTH);
  }
  for (double t : f.y.ticks) {
    cairo_move_to(cr, f.left, f.to_row(t));
    cairo_line_to(cr, f.left - TICK_LENGTH, f.to_row(t));
  }
  cairo_stroke(cr);

  set_colour(cr, text);
  use_font(cr, TICK_FONT);
  for (double t : f.x.ticks) show_text_at(cr, f.x.label(t), f.to_column(t), f.top + f.height + TICK_LENGTH + 3, 0.5, 0);
  for (double t : f.y.ticks) show_text_at(cr, f.y.label(t), f.left - TICK_LENGTH - 3, f.to_row(t), 1, 0.5);

  use_font(cr, PANEL_FONT);
  show_text_at(cr, panel.x_label, f.left + f.width / 2, f.top + f.height + TICK_LENGTH + 20, 0.5, 0);
  if (!panel.y_label.empty()) {
    cairo_save(cr);
    cairo_translate(cr, f.left - PANEL_LEFT + 6, f.top + f.height / 2);
    cairo_rotate(cr, -std::numbers::pi / 2);
    show_text_at(cr, panel.y_label, 0, 0, 0.5, 0);
    cairo_restore(cr);
  }
  use_font(cr, PANEL_FONT, true);
  show_text_at(cr, panel.title, f.left + f.width / 2, f.top - PANEL_TOP + 5, 0.5, 0);
}

struct LegendEntry {
  std::string text;
  Rgb colour;
  enum class Kind { marker, line, bar } kind;
};

std::vector<LegendEntry> legend_entries(const PlotFigure& figure) {
  std::vector<LegendEntry> entries;
  auto add = [&entries](const std::string& text, Rgb colour, LegendEntry::Kind kind) {
    if (text.empty()) return;
    for (const LegendEntry& e : entries)
      if (e.text == text) return;
    entries.push_back({text, colour, kind});
  };
  for (const PlotPanel& p : figure.panels) {
    for (const Series& s : p.series)
      add(s.legend, s.colour, s.style == Series::Style::line ? LegendEntry::Kind::line : LegendEntry::Kind::marker);
    for (const ErrorBar& b : p.error_bars) add(b.legend, b.colour, LegendEntry::Kind::bar);
  }
  return entries;
}

void draw_legend(cairo_t* cr, const std::vector<LegendEntry>& entries, double top, Rgb text) {
  use_font(cr, PANEL_FONT);
  double x = OUTER + PANEL_LEFT;
  const double y = top + LEGEND_BAND / 2;
  for (const LegendEntry& e : entries) {
    set_colour(cr, e.colour);
    if (e.kind == LegendEntry::Kind::line) {
      cairo_set_line_width(cr, 1.5);
      cairo_move_to(cr, x, y);
      cairo_line_to(cr, x + 20, y);
      cairo_stroke(cr);
    } else if (e.kind == LegendEntry::Kind::marker) {
      marker(cr, x + 10, y);
    } else {
      diamond(cr, x + 10, y);
    }
    set_colour(cr, text);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, e.text.c_str(), &extents);
    show_text_at(cr, e.text, x + 26, y, 0, 0.5);
    x += 26 + extents.x_advance + 24;
  }
}

}  // namespace

std::string Axis::label(double tick) const {
  const double step = ticks.size() > 1 ? ticks[1] - ticks[0] : std::max(std::abs(hi - lo), std::abs(tick));
  const double largest = std::max(std::abs(lo), std::abs(hi));
  char text[64];
  if (largest >= 1e6 || (largest > 0 && largest < 1e-4)) {
    // Enough significant digits to tell neighbouring ticks apart.
    const int digits = std::clamp(static_cast<int>(std::floor(std::log10(largest)) - std::floor(std::log10(step))), 0, 15);
    std::snprintf(text, sizeof text, "%.*e", digits, tick);
  } else {
    const int decimals = std::clamp(static_cast<int>(-std::floor(std::log10(step) + 1e-9)), 0, 15);
    std::snprintf(text, sizeof text, "%.*f", decimals, tick);
  }
  return text;
}

Axis nice_axis(double lo, double hi, int target_ticks) {
  check_finite(lo, "an axis end");
  check_finite(hi, "an axis end");
  if (lo > hi) std::swap(lo, hi);
  if (!(hi - lo > 1e-12 * std::max(std::abs(lo), std::abs(hi)))) {
    const double half = lo == 0 ? 1.0 : 0.01 * std::abs(lo);
    lo -= half, hi += half;
  }
  // A margin of 5 % on each side, so markers at the ends are drawn whole.
  const double margin = 0.05 * (hi - lo);
  Axis axis{lo - margin, hi + margin, {}};
  // At least three ticks, so that a reader sees the scale: a smaller nice step when the range falls between.
  for (double step = nice_step((axis.hi - axis.lo) / std::max(target_ticks, 1));; step = smaller_step(step)) {
    axis.ticks.clear();
    for (double k = std::ceil(axis.lo / step); k * step <= axis.hi; k += 1) axis.ticks.push_back(k * step + 0.0);  // + 0.0: no tick at -0
    if (axis.ticks.size() >= 3) break;
  }
  return axis;
}

std::vector<PlotFrame> layout_plot(const PlotFigure& figure, double width, double height) {
  if (figure.panels.empty()) throw std::invalid_argument("plot: no panels");
  if (figure.columns < 1) throw std::invalid_argument("plot: the number of columns must be at least 1");
  const std::size_t columns = std::min<std::size_t>(figure.panels.size(), static_cast<std::size_t>(figure.columns));
  const std::size_t rows = (figure.panels.size() + columns - 1) / columns;
  const double head = (figure.title.empty() ? 0 : TITLE_BAND) + (legend_entries(figure).empty() ? 0 : LEGEND_BAND);
  const double cell_width = (width - 2 * OUTER) / static_cast<double>(columns);
  const double cell_height = (height - head - OUTER) / static_cast<double>(rows);
  if (cell_width < PANEL_LEFT + PANEL_RIGHT + 20 || cell_height < PANEL_TOP + PANEL_BOTTOM + 20)
    throw std::invalid_argument("plot: " + std::to_string(static_cast<long>(width)) + " x " +
                                std::to_string(static_cast<long>(height)) + " pixels are too few for " +
                                std::to_string(figure.panels.size()) + " panels");
  std::vector<PlotFrame> frames;
  for (std::size_t p = 0; p < figure.panels.size(); ++p) {
    const PlotPanel& panel = figure.panels[p];
    Range x, y;
    for (const Series& s : panel.series)
      for (const Point& pt : s.points) {
        check_finite(pt.x, "a point of panel '" + panel.title + "'");
        check_finite(pt.y, "a point of panel '" + panel.title + "'");
        x.add(pt.x), y.add(pt.y);
      }
    for (const ErrorBar& b : panel.error_bars) {
      check_finite(b.x, "an error bar of panel '" + panel.title + "'");
      check_finite(b.y, "an error bar of panel '" + panel.title + "'");
      check_finite(b.half_width, "an error bar of panel '" + panel.title + "'");
      x.add(b.x), y.add(b.y - std::abs(b.half_width)), y.add(b.y + std::abs(b.half_width));
    }
    if (x.empty()) x.add(0), x.add(1), y.add(0), y.add(1);
    PlotFrame f;
    f.left = OUTER + static_cast<double>(p % columns) * cell_width + PANEL_LEFT;
    f.top = head + static_cast<double>(p / columns) * cell_height + PANEL_TOP;
    f.width = cell_width - PANEL_LEFT - PANEL_RIGHT;
    f.height = cell_height - PANEL_TOP - PANEL_BOTTOM;
    f.x = nice_axis(x.lo, x.hi);
    f.y = nice_axis(y.lo, y.hi);
    frames.push_back(f);
  }
  return frames;
}

void draw_plot(cairo_t* cr, double width, double height, const PlotFigure& figure) {
  const std::vector<PlotFrame> frames = layout_plot(figure, width, height);
  set_colour(cr, figure.background);
  cairo_paint(cr);
  double band = 0;
  if (!figure.title.empty()) {
    set_colour(cr, figure.text);
    use_font(cr, TITLE_FONT, true);
    show_text_at(cr, figure.title, width / 2, 10, 0.5, 0);
    band = TITLE_BAND;
  }
  const std::vector<LegendEntry> legend = legend_entries(figure);
  if (!legend.empty()) draw_legend(cr, legend, band, figure.text);

  for (std::size_t p = 0; p < frames.size(); ++p) {
    const PlotFrame& f = frames[p];
    const PlotPanel& panel = figure.panels[p];
    draw_axes(cr, f, panel, figure.text);
    cairo_save(cr);
    cairo_rectangle(cr, f.left, f.top, f.width, f.height);
    cairo_clip(cr);
    // Lines first, so that markers and bars stay visible on top of them.
    for (const Series& s : panel.series)
      if (s.style == Series::Style::line) set_colour(cr, s.colour), polyline(cr, f, s.points);
    for (const Series& s : panel.series)
      if (s.style == Series::Style::markers) {
        set_colour(cr, s.colour);
        for (const Point& pt : s.points) marker(cr, f.to_column(pt.x), f.to_row(pt.y));
      }
    for (const ErrorBar& b : panel.error_bars) error_bar(cr, f, b);
    cairo_restore(cr);
  }
}

std::string plot_png(const PlotFigure& figure, std::int32_t width, std::int32_t height) {
  layout_plot(figure, width, height);  // refuse a bad figure before making the surface
  return render_png(width, height,
                    [&figure](cairo_t* cr, double w, double h) { draw_plot(cr, w, h, figure); });
}

}  // namespace csolver::drawing
