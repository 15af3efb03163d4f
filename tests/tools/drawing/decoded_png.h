#pragma once
// Reads PNG bytes back with Cairo's own decoder, so that the tests check the
// pictures as a viewer sees them.
#include "drawing/canvas.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace csolver::testing {

struct DecodedPng {
  cairo_status_t status = CAIRO_STATUS_SUCCESS;
  cairo_format_t format = CAIRO_FORMAT_INVALID;
  std::int32_t width = 0, height = 0;
  std::vector<std::uint32_t> pixels;  // 0xAARRGGBB (0xffRRGGBB for opaque RGB24), rows from the top
  drawing::Rgb at(std::int32_t column, std::int32_t row) const {
    const std::uint32_t p = pixels.at(static_cast<std::size_t>(row) * static_cast<std::size_t>(width) + static_cast<std::size_t>(column));
    return {static_cast<std::uint8_t>(p >> 16), static_cast<std::uint8_t>(p >> 8), static_cast<std::uint8_t>(p)};
  }
  bool opaque() const {
    for (std::uint32_t p : pixels)
      if ((p >> 24) != 0xff) return false;
    return true;
  }
};

inline DecodedPng decode_png(const std::string& png) {
  struct Reader {
    const std::string* bytes;
    std::size_t at = 0;
  } reader{&png};
  auto read = [](void* closure, unsigned char* data, unsigned int length) {
    auto* r = static_cast<Reader*>(closure);
    if (r->bytes->size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
    std::copy_n(r->bytes->data() + r->at, length, reinterpret_cast<char*>(data));
    r->at += length;
    return CAIRO_STATUS_SUCCESS;
  };
  cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(read, &reader);
  DecodedPng out;
  out.status = cairo_surface_status(surface);
  if (out.status == CAIRO_STATUS_SUCCESS) {
    out.format = cairo_image_surface_get_format(surface);
    out.width = cairo_image_surface_get_width(surface);
    out.height = cairo_image_surface_get_height(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    for (std::int32_t y = 0; y < out.height; ++y) {
      const auto* row = reinterpret_cast<const std::uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride);
      for (std::int32_t x = 0; x < out.width; ++x)
        out.pixels.push_back(out.format == CAIRO_FORMAT_RGB24 ? (row[x] | 0xff000000u) : row[x]);
    }
  }
  cairo_surface_destroy(surface);
  return out;
}

}  // namespace csolver::testing

namespace csolver::drawing {
inline void PrintTo(const Rgb& c, std::ostream* os) { *os << "rgb(" << int(c.r) << ", " << int(c.g) << ", " << int(c.b) << ")"; }
}  // namespace csolver::drawing
