#include "drawing/canvas.h"

#include <cmath>
#include <memory>

namespace csolver::drawing {

namespace {

// Kelly's colours of maximum contrast without white, black and the greys,
// ordered so that each differs strongly from the three before it.
constexpr Rgb KELLY[] = {{243, 195, 0},   {0, 103, 165},  {190, 0, 50},   {161, 202, 241}, {220, 211, 0},
                         {0, 136, 86},    {179, 68, 108}, {194, 178, 128}, {243, 132, 0},  {43, 61, 38},
                         {96, 78, 151},   {230, 143, 172}, {246, 166, 0},  {136, 45, 23},  {135, 86, 146},
                         {249, 147, 121}, {141, 182, 0},  {101, 69, 34},  {226, 88, 34}};

Rgb from_hsl(double hue, double saturation, double lightness) {
  const double c = (1 - std::abs(2 * lightness - 1)) * saturation;
  const double hp = hue / 60.0;
  const double x = c * (1 - std::abs(std::fmod(hp, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  if (hp < 1) r = c, g = x;
  else if (hp < 2) r = x, g = c;
  else if (hp < 3) g = c, b = x;
  else if (hp < 4) g = x, b = c;
  else if (hp < 5) r = x, b = c;
  else r = c, b = x;
  const double m = lightness - c / 2;
  auto byte = [m](double v) { return static_cast<std::uint8_t>(std::lround(255 * (v + m))); };
  return {byte(r), byte(g), byte(b)};
}

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const noexcept { cairo_surface_destroy(s); }
};
struct ContextDeleter {
  void operator()(cairo_t* cr) const noexcept { cairo_destroy(cr); }
};
struct FontOptionsDeleter {
  void operator()(cairo_font_options_t* o) const noexcept { cairo_font_options_destroy(o); }
};

void check(cairo_status_t status, const char* what) {
  if (status != CAIRO_STATUS_SUCCESS) throw DrawingError(std::string(what) + ": " + cairo_status_to_string(status));
}

cairo_status_t append_to_string(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::vector<Rgb> distinct_colours(std::size_t n) {
  std::vector<Rgb> colours;
  colours.reserve(n);
  for (std::size_t i = 0; i < n && i < std::size(KELLY); ++i) colours.push_back(KELLY[i]);
  constexpr double GOLDEN_ANGLE = 137.50776405003785;
  for (std::size_t i = colours.size(); i < n; ++i) {
    const double hue = std::fmod(static_cast<double>(i) * GOLDEN_ANGLE, 360.0);
    const double lightness = i % 3 == 0 ? 0.35 : i % 3 == 1 ? 0.55 : 0.72;
    colours.push_back(from_hsl(hue, 0.75, lightness));
  }
  return colours;
}

void set_colour(cairo_t* cr, Rgb colour) { cairo_set_source_rgb(cr, colour.r / 255.0, colour.g / 255.0, colour.b / 255.0); }

void use_font(cairo_t* cr, double size, bool bold) {
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, size);
  const std::unique_ptr<cairo_font_options_t, FontOptionsDeleter> options(cairo_font_options_create());
  cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
  cairo_set_font_options(cr, options.get());
}

std::string render_png(std::int32_t width, std::int32_t height, const DrawFunction& draw) {
  if (width < 1 || height < 1)
    throw DrawingError("a picture needs at least one pixel, not " + std::to_string(width) + " x " + std::to_string(height));
  // RGB24: no alpha channel, so the PNG is opaque whatever the drawing does.
  const std::unique_ptr<cairo_surface_t, SurfaceDeleter> surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  check(cairo_surface_status(surface.get()), "cannot make a picture surface");
  {
    const std::unique_ptr<cairo_t, ContextDeleter> cr(cairo_create(surface.get()));
    check(cairo_status(cr.get()), "cannot draw on the picture surface");
    draw(cr.get(), width, height);
    check(cairo_status(cr.get()), "drawing the picture failed");
  }
  cairo_surface_flush(surface.get());
  std::string png;
  check(cairo_surface_write_to_png_stream(surface.get(), append_to_string, &png), "writing the PNG failed");
  return png;
}

}  // namespace csolver::drawing
