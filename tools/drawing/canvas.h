#pragma once
// Pictures for the front ends, drawn with Cairo. Each picture is a
// draw(cr, width, height) function apart from the code that makes a surface
// and writes it, so the same drawing could go to PDF or SVG. Pictures are
// reproducible: an opaque background, one named font ("DejaVu Sans", Debian
// package fonts-dejavu-core) and fixed font options (no hinting, grey
// antialiasing), so the same data give the same pixels on any machine with
// the same Cairo and font. PNGs come back as bytes, so that a front end
// writes them atomically with its other result files.
#include <cairo.h>

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

namespace csolver::drawing {

class DrawingError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// 8-bit colour; Cairo paints a solid 8-bit colour back exactly, so tests can
// compare pixels for equality.
struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline constexpr Rgb WHITE{255, 255, 255};
inline constexpr Rgb BLACK{0, 0, 0};
inline constexpr Rgb GREY{150, 150, 150};

// `n` colours that are told apart from one another, from GREY, black and
// white: a hand-picked set of high-contrast colours first, then hues a golden
// angle apart with alternating lightness, so neighbours in the list differ.
std::vector<Rgb> distinct_colours(std::size_t n);

void set_colour(cairo_t* cr, Rgb colour);

// Selects "DejaVu Sans" at `size` user units with the fixed font options.
void use_font(cairo_t* cr, double size, bool bold = false);

using DrawFunction = std::function<void(cairo_t* cr, double width, double height)>;

// Draws on an opaque RGB image of width x height pixels and returns it as
// PNG bytes. Throws DrawingError when Cairo reports a failure (no memory, a
// failed drawing, a failed PNG write).
std::string render_png(std::int32_t width, std::int32_t height, const DrawFunction& draw);

}  // namespace csolver::drawing
