#include "contribution_pores/pores_picture.h"

#include "contribution_pores/pore_values.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <numeric>

namespace csolver::pores {

namespace {

constexpr std::uint32_t NOTHING = std::numeric_limits<std::uint32_t>::max();
constexpr double BAR_WIDTH = 150;   // the colour bar's column, pixels
constexpr double PLOT_HEIGHT = 420;

// Keeps, per cell, the smallest key seen: the pore drawn there.
struct Projection {
  std::int32_t width = 0, height = 0;
  std::vector<std::uint32_t> key;
  Projection(std::int32_t w, std::int32_t h) : width(w), height(h), key(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), NOTHING) {}
  void see(std::int32_t u, std::int32_t v, std::uint32_t k) {
    std::uint32_t& at = key[static_cast<std::size_t>(v) * static_cast<std::size_t>(width) + static_cast<std::size_t>(u)];
    at = std::min(at, k);
  }
};

std::string block_note(std::int32_t step) {
  return step > 1 ? ", blocks of " + std::to_string(step) + " voxels" : std::string();
}

std::string short_number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", v);
  return text;
}

}  // namespace

drawing::Rgb level_colour(std::size_t level) {
  // Anchors of a perceptually ordered scale (viridis' ends and middle).
  static constexpr std::array<std::array<double, 3>, 5> ANCHORS = {
      {{68, 1, 84}, {59, 82, 139}, {33, 145, 140}, {94, 201, 98}, {253, 231, 37}}};
  const double t = COLOUR_LEVELS > 1 ? static_cast<double>(level) / (COLOUR_LEVELS - 1) : 0.0;
  const double s = t * (ANCHORS.size() - 1);
  const std::size_t i = std::min(static_cast<std::size_t>(s), ANCHORS.size() - 2);
  const double f = s - static_cast<double>(i);
  std::array<std::uint8_t, 3> c{};
  for (std::size_t k = 0; k < 3; ++k)
    c[k] = static_cast<std::uint8_t>(std::lround(ANCHORS[i][k] + f * (ANCHORS[i + 1][k] - ANCHORS[i][k])));
  return {c[0], c[1], c[2]};
}

std::uint16_t ColourScale::cell(double value) const {
  if (!std::isfinite(value)) return UNSOLVED;
  const double t = hi > lo ? (value - lo) / (hi - lo) : 0.5;
  const auto level = static_cast<std::uint16_t>(std::clamp(t * COLOUR_LEVELS, 0.0, COLOUR_LEVELS - 1.0));
  return static_cast<std::uint16_t>(FIRST_LEVEL + level);
}

ColourScale colour_scale(const std::vector<double>& values) {
  ColourScale s{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (double v : values)
    if (std::isfinite(v)) {
      s.lo = std::min(s.lo, v);
      s.hi = std::max(s.hi, v);
    }
  if (s.lo > s.hi) s.lo = s.hi = 0;
  return s;
}

drawing::RasterFigure projections(const Population& p, const std::vector<double>& colour_values, const ColourScale& scale) {
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  // Key of a label: kept pores by size, smallest first, then the dropped ones.
  std::vector<std::size_t> by_size(kept.size());
  std::iota(by_size.begin(), by_size.end(), 0);
  std::stable_sort(by_size.begin(), by_size.end(), [&](std::size_t a, std::size_t b) { return kept[a].voxels < kept[b].voxels; });
  const auto dropped_key = static_cast<std::uint32_t>(kept.size());
  std::vector<std::uint32_t> key(static_cast<std::size_t>(p.labels.count) + 1, dropped_key);
  key[0] = NOTHING;
  std::vector<std::size_t> slot_of_key(kept.size());
  for (std::size_t rank = 0; rank < by_size.size(); ++rank) {
    key[kept[by_size[rank]].label] = static_cast<std::uint32_t>(rank);
    slot_of_key[rank] = by_size[rank];
  }

  const std::int32_t longest = std::max({p.nx, p.ny, p.nz});
  const std::int32_t step = std::max<std::int32_t>(1, (longest + LONGEST_PANEL_CELLS - 1) / LONGEST_PANEL_CELLS);
  const auto cells = [step](std::int32_t n) { return (n + step - 1) / step; };
  Projection xy(cells(p.nx), cells(p.ny)), xz(cells(p.nx), cells(p.nz)), yz(cells(p.ny), cells(p.nz));
  std::size_t at = 0;
  for (std::int32_t z = 0; z < p.nz; ++z)
    for (std::int32_t y = 0; y < p.ny; ++y)
      for (std::int32_t x = 0; x < p.nx; ++x, ++at) {
        const std::uint32_t label = p.labels.label[at];
        if (label == 0) continue;
        const std::uint32_t k = key[label];
        xy.see(x / step, y / step, k);
        xz.see(x / step, z / step, k);
        yz.see(y / step, z / step, k);
      }
  const auto raster = [&](std::string title, const Projection& projection) {
    drawing::Raster r{std::move(title) + block_note(step), projection.width, projection.height, {}};
    r.cells.reserve(projection.key.size());
    for (std::uint32_t k : projection.key) {
      if (k == NOTHING) r.cells.push_back(SOLID);
      else if (k == dropped_key) r.cells.push_back(DROPPED);
      else r.cells.push_back(scale.cell(colour_values[slot_of_key[k]]));
    }
    return r;
  };
  drawing::RasterFigure figure;
  figure.panels = {raster("along z (xy)", xy), raster("along y (xz)", xz), raster("along x (yz)", yz)};
  figure.palette = {SOLID_COLOUR, drawing::GREY, UNSOLVED_COLOUR};
  for (std::size_t l = 0; l < COLOUR_LEVELS; ++l) figure.palette.push_back(level_colour(l));
  return figure;
}

drawing::PlotFigure population_plots(const Population& p, const std::vector<PoreResult>& results, double E0) {
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  drawing::PlotFigure figure;
  figure.columns = 2;
  // Size distribution: the equivalent sphere diameter, as a step outline of its histogram.
  std::vector<double> diameters;
  for (const image::PoreProperties& pore : kept) diameters.push_back(std::cbrt(6 * pore.volume / std::numbers::pi));
  drawing::PlotPanel sizes{"size distribution (" + std::to_string(kept.size()) + " kept pores)",
                           "equivalent diameter (6 V / pi)^(1/3)", "pores", {}, {}};
  if (!diameters.empty()) {
    const auto [lo_it, hi_it] = std::minmax_element(diameters.begin(), diameters.end());
    const std::size_t bins = std::clamp<std::size_t>(static_cast<std::size_t>(std::sqrt(diameters.size())), 1, 30);
    const double lo = *lo_it, width = *hi_it > lo ? (*hi_it - lo) / static_cast<double>(bins) : 1.0;
    std::vector<double> count(bins, 0);
    for (double d : diameters) count[std::min(bins - 1, static_cast<std::size_t>((d - lo) / width))] += 1;
    drawing::Series outline{{}, drawing::Series::Style::line, drawing::BLACK, ""};
    outline.points.push_back({lo, 0});
    for (std::size_t b = 0; b < bins; ++b) {
      outline.points.push_back({lo + static_cast<double>(b) * width, count[b]});
      outline.points.push_back({lo + static_cast<double>(b + 1) * width, count[b]});
    }
    outline.points.push_back({lo + static_cast<double>(bins) * width, 0});
    sizes.series.push_back(std::move(outline));
  }
  drawing::PlotPanel shape{"aspect ratio against E0 H33 (solved pores)", "E0 H33 (per unit pore volume)",
                           "aspect ratio c/a of the equivalent ellipsoid", {}, {}};
  drawing::Series points{{}, drawing::Series::Style::markers, level_colour(COLOUR_LEVELS / 3), ""};
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const PoreValues v = pore_values(kept[i], results[i], E0);
    if (std::isfinite(v.H33) && std::isfinite(v.aspect_ratio)) points.points.push_back({v.H33, v.aspect_ratio});
  }
  if (!points.points.empty()) shape.series.push_back(std::move(points));
  figure.panels = {std::move(sizes), std::move(shape)};
  return figure;
}

std::string pores_picture(const Population& p, const std::vector<PoreResult>& results, double E0) {
  std::vector<double> values;
  for (std::size_t i = 0; i < p.selection.kept.size(); ++i) values.push_back(pore_values(p.selection.kept[i], results[i], E0).H_norm);
  const ColourScale scale = colour_scale(values);
  const drawing::RasterFigure top = projections(p, values, scale);
  const drawing::RasterLayout layout = drawing::layout_rasters(top);
  const drawing::PlotFigure bottom = population_plots(p, results, E0);
  const double width = std::max(static_cast<double>(layout.width) + BAR_WIDTH, 1000.0);
  const double height = layout.height + PLOT_HEIGHT;
  return drawing::render_png(static_cast<std::int32_t>(width), static_cast<std::int32_t>(height), [&](cairo_t* cr, double, double) {
    drawing::set_colour(cr, drawing::WHITE);
    cairo_paint(cr);
    drawing::draw_rasters(cr, layout.width, layout.height, top);
    // The colour bar: levels bottom (low) to top (high), the range's ends written beside.
    const double left = layout.width + 20, bar_top = 50, bar_height = std::max(120.0, layout.height - 110.0);
    drawing::use_font(cr, 13, true);
    drawing::set_colour(cr, drawing::BLACK);
    cairo_move_to(cr, left - 10, 30);
    cairo_show_text(cr, "E0 |H| per pore");
    for (std::size_t l = 0; l < COLOUR_LEVELS; ++l) {
      drawing::set_colour(cr, level_colour(l));
      const double y = bar_top + bar_height * (1 - static_cast<double>(l + 1) / COLOUR_LEVELS);
      cairo_rectangle(cr, left, y, 24, bar_height / COLOUR_LEVELS + 0.5);
      cairo_fill(cr);
    }
    drawing::use_font(cr, 12);
    drawing::set_colour(cr, drawing::BLACK);
    cairo_move_to(cr, left + 30, bar_top + 10);
    cairo_show_text(cr, short_number(scale.hi).c_str());
    cairo_move_to(cr, left + 30, bar_top + bar_height);
    cairo_show_text(cr, short_number(scale.lo).c_str());
    const std::pair<drawing::Rgb, const char*> keys[] = {{UNSOLVED_COLOUR, "not solved"}, {drawing::GREY, "dropped"}};
    double y = bar_top + bar_height + 20;
    for (const auto& [colour, text] : keys) {
      drawing::set_colour(cr, colour);
      cairo_rectangle(cr, left, y, 24, 12);
      cairo_fill(cr);
      drawing::set_colour(cr, drawing::BLACK);
      cairo_move_to(cr, left + 30, y + 11);
      cairo_show_text(cr, text);
      y += 20;
    }
    cairo_save(cr);
    cairo_translate(cr, 0, layout.height);
    cairo_rectangle(cr, 0, 0, width, PLOT_HEIGHT);  // the plot paints its background: keep it below
    cairo_clip(cr);
    drawing::draw_plot(cr, width, PLOT_HEIGHT, bottom);
    cairo_restore(cr);
  });
}

}  // namespace csolver::pores
