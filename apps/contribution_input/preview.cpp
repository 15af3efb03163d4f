#include "contribution_input/preview.h"

#include <algorithm>
#include <stdexcept>
#include <zlib.h>

namespace csolver::preview {

namespace {

constexpr std::uint8_t INSIDE = 255, OUTSIDE = 40, GAP = 128;
constexpr std::int32_t GAP_PIXELS = 4;
// Panels of at least this many pixels, so that a grid of 20 nodes is visible.
constexpr std::int32_t MIN_PANEL_PIXELS = 240;

void put_u32(std::string& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((v >> shift) & 0xff);
}

void put_chunk(std::string& out, const char* type, const std::string& data) {
  put_u32(out, static_cast<std::uint32_t>(data.size()));
  const std::string body = std::string(type, 4) + data;
  out += body;
  put_u32(out, static_cast<std::uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(body.data()), static_cast<uInt>(body.size()))));
}

std::int32_t pixels_per_node(std::int32_t N) { return std::max<std::int32_t>(1, (MIN_PANEL_PIXELS + N - 1) / N); }

// Paints one N x N slice at column offset x0; flag(u, v) with v pointing up.
template <class Flag>
void paint(Picture& pic, std::int32_t x0, std::int32_t N, std::int32_t scale, Flag flag) {
  for (std::int32_t v = 0; v < N; ++v)
    for (std::int32_t u = 0; u < N; ++u) {
      const std::uint8_t value = flag(u, v) ? INSIDE : OUTSIDE;
      for (std::int32_t dy = 0; dy < scale; ++dy) {
        const std::int32_t row = (N - 1 - v) * scale + dy;
        auto* line = pic.pixels.data() + static_cast<std::size_t>(row) * static_cast<std::size_t>(pic.width);
        std::fill_n(line + x0 + u * scale, scale, value);
      }
    }
}

}  // namespace

std::string encode_png(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& pixels) {
  if (width < 1 || height < 1 || pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
    throw std::invalid_argument("encode_png: pixel count does not match the size");
  // Each row starts with filter type 0 (none).
  std::string raw;
  raw.reserve(pixels.size() + static_cast<std::size_t>(height));
  for (std::int32_t y = 0; y < height; ++y) {
    raw += '\0';
    raw.append(reinterpret_cast<const char*>(pixels.data()) + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
               static_cast<std::size_t>(width));
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packed_size, reinterpret_cast<const Bytef*>(raw.data()),
                static_cast<uLong>(raw.size()), Z_BEST_COMPRESSION) != Z_OK)
    throw std::runtime_error("encode_png: zlib compression failed");
  packed.resize(packed_size);

  std::string header;
  put_u32(header, static_cast<std::uint32_t>(width));
  put_u32(header, static_cast<std::uint32_t>(height));
  header += '\x08';  // bit depth
  header += '\x00';  // greyscale
  header += std::string(3, '\0');  // deflate, adaptive filtering, no interlace
  std::string png = "\x89PNG\r\n\x1a\n";
  put_chunk(png, "IHDR", header);
  put_chunk(png, "IDAT", packed);
  put_chunk(png, "IEND", "");
  return png;
}

Picture volume_slices(const NodeTable& nodes) {
  const std::int32_t N = nodes.N, mid = (N - 1) / 2, scale = pixels_per_node(N), panel = N * scale;
  Picture pic{3 * panel + 2 * GAP_PIXELS, panel, {}};
  pic.pixels.assign(static_cast<std::size_t>(pic.width) * static_cast<std::size_t>(pic.height), GAP);
  auto flagged = [&nodes](std::int32_t i, std::int32_t j, std::int32_t k) { return nodes.node_flag[nodes.index(i, j, k)] == 1; };
  paint(pic, 0, N, scale, [&](std::int32_t u, std::int32_t v) { return flagged(u, v, mid); });
  paint(pic, panel + GAP_PIXELS, N, scale, [&](std::int32_t u, std::int32_t v) { return flagged(u, mid, v); });
  paint(pic, 2 * (panel + GAP_PIXELS), N, scale, [&](std::int32_t u, std::int32_t v) { return flagged(mid, u, v); });
  return pic;
}

Picture crack_plane(const NodeTable& nodes) {
  const std::int32_t N = nodes.N, scale = pixels_per_node(N), panel = N * scale;
  Picture pic{panel, panel, std::vector<std::uint8_t>(static_cast<std::size_t>(panel) * static_cast<std::size_t>(panel))};
  paint(pic, 0, N, scale, [&](std::int32_t u, std::int32_t v) { return nodes.node_flag[nodes.index(u, v, 0)] == 1; });
  return pic;
}

}  // namespace csolver::preview
