#include "drawing/raster_panels.h"

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace csolver::drawing {

namespace {

constexpr std::int32_t MARGIN = 10, GAP = 14, LABEL_HEIGHT = 22;
constexpr double LABEL_FONT = 14;

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
};
struct PatternDeleter {
  void operator()(cairo_pattern_t* p) const noexcept { cairo_pattern_destroy(p); }
};

void check_figure(const RasterFigure& figure) {
  if (figure.panels.empty()) throw std::invalid_argument("raster figure: no panels");
  if (figure.columns < 0) throw std::invalid_argument("raster figure: negative number of columns");
  if (figure.min_panel_pixels < 1) throw std::invalid_argument("raster figure: panels need at least one pixel");
  for (const Raster& r : figure.panels) {
    if (r.width < 1 || r.height < 1)
      throw std::invalid_argument("raster panel '" + r.label + "': empty (" + std::to_string(r.width) + " x " +
                                  std::to_string(r.height) + " cells)");
    if (r.cells.size() != static_cast<std::size_t>(r.width) * static_cast<std::size_t>(r.height))
      throw std::invalid_argument("raster panel '" + r.label + "': " + std::to_string(r.cells.size()) +
                                  " cells for " + std::to_string(r.width) + " x " + std::to_string(r.height));
    const auto top = std::max_element(r.cells.begin(), r.cells.end());
    if (*top >= figure.palette.size())
      throw std::invalid_argument("raster panel '" + r.label + "': cell value " + std::to_string(*top) +
                                  " has no colour in a palette of " + std::to_string(figure.palette.size()));
  }
}

}  // namespace

std::int32_t RasterLayout::pixel_column(std::size_t p, std::int32_t u) const {
  return frames[p].left + u * frames[p].scale + frames[p].scale / 2;
}

std::int32_t RasterLayout::pixel_row(std::size_t p, const Raster& raster, std::int32_t v) const {
  return frames[p].top + (raster.height - 1 - v) * frames[p].scale + frames[p].scale / 2;
}

RasterLayout layout_rasters(const RasterFigure& figure) {
  check_figure(figure);
  const std::size_t count = figure.panels.size();
  const std::size_t columns = figure.columns == 0 ? count : std::min<std::size_t>(count, static_cast<std::size_t>(figure.columns));
  const std::size_t rows = (count + columns - 1) / columns;
  RasterLayout layout;
  std::vector<std::int32_t> column_width(columns, 0), row_height(rows, 0);
  for (std::size_t p = 0; p < count; ++p) {
    const Raster& r = figure.panels[p];
    const std::int32_t longer = std::max(r.width, r.height);
    const std::int32_t scale = std::max<std::int32_t>(1, (figure.min_panel_pixels + longer - 1) / longer);
    layout.frames.push_back({0, 0, scale});
    column_width[p % columns] = std::max(column_width[p % columns], r.width * scale);
    row_height[p / columns] = std::max(row_height[p / columns], r.height * scale);
  }
  std::vector<std::int32_t> column_left(columns), row_top(rows);
  std::int32_t x = MARGIN, y = MARGIN;
  for (std::size_t c = 0; c < columns; ++c) column_left[c] = x, x += column_width[c] + GAP;
  for (std::size_t r = 0; r < rows; ++r) row_top[r] = y + LABEL_HEIGHT, y += LABEL_HEIGHT + row_height[r] + GAP;
  layout.width = x - GAP + MARGIN;
  layout.height = y - GAP + MARGIN;
  for (std::size_t p = 0; p < count; ++p) {
    layout.frames[p].left = column_left[p % columns];
    layout.frames[p].top = row_top[p / columns];
  }
  return layout;
}

void draw_rasters(cairo_t* cr, double width, double height, const RasterFigure& figure) {
  const RasterLayout layout = layout_rasters(figure);
  cairo_save(cr);
  cairo_scale(cr, width / layout.width, height / layout.height);
  set_colour(cr, figure.background);
  cairo_paint(cr);
  for (std::size_t p = 0; p < figure.panels.size(); ++p) {
    const Raster& r = figure.panels[p];
    const RasterLayout::Frame& f = layout.frames[p];
    // The cells as a one-pixel-per-cell image, top row first, then scaled up
    // with the nearest filter: sharp squares on raster and vector surfaces.
    const std::unique_ptr<cairo_surface_t, SurfaceDeleter> cells(cairo_image_surface_create(CAIRO_FORMAT_RGB24, r.width, r.height));
    if (cairo_surface_status(cells.get()) != CAIRO_STATUS_SUCCESS) throw DrawingError("cannot make a raster of " + r.label);
    cairo_surface_flush(cells.get());
    unsigned char* data = cairo_image_surface_get_data(cells.get());
    const int stride = cairo_image_surface_get_stride(cells.get());
    for (std::int32_t v = 0; v < r.height; ++v) {
      auto* row = reinterpret_cast<std::uint32_t*>(data + static_cast<std::ptrdiff_t>(r.height - 1 - v) * stride);
      for (std::int32_t u = 0; u < r.width; ++u) {
        const Rgb c = figure.palette[r.cells[static_cast<std::size_t>(v) * static_cast<std::size_t>(r.width) + static_cast<std::size_t>(u)]];
        row[u] = (std::uint32_t{0xff} << 24) | (std::uint32_t{c.r} << 16) | (std::uint32_t{c.g} << 8) | c.b;
      }
    }
    cairo_surface_mark_dirty(cells.get());
    cairo_save(cr);
    cairo_translate(cr, f.left, f.top);
    cairo_scale(cr, f.scale, f.scale);
    cairo_set_source_surface(cr, cells.get(), 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_rectangle(cr, 0, 0, r.width, r.height);
    cairo_fill(cr);
    cairo_restore(cr);

    set_colour(cr, figure.text);
    use_font(cr, LABEL_FONT);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, r.label.c_str(), &extents);
    const double centre = f.left + r.width * f.scale / 2.0;
    cairo_move_to(cr, centre - extents.width / 2 - extents.x_bearing, f.top - 7);
    cairo_show_text(cr, r.label.c_str());
  }
  cairo_restore(cr);
}

std::string rasters_png(const RasterFigure& figure) {
  const RasterLayout layout = layout_rasters(figure);
  return render_png(layout.width, layout.height,
                    [&figure](cairo_t* cr, double width, double height) { draw_rasters(cr, width, height, figure); });
}

}  // namespace csolver::drawing
