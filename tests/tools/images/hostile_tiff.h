#pragma once
// Hand-built TIFF files for the tests of hostile input: one uncompressed
// greyscale page whose strips may point anywhere, and the edits that damage
// a file written by libtiff (cut it short, loop its directories).
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace csolver::testing {

struct StripPage {
  std::uint32_t width = 4, height = 4;
  std::uint16_t compression = 1;          // 1 none, 5 LZW
  std::vector<std::uint32_t> offsets;      // strip offsets, one per row
  std::vector<std::uint32_t> byte_counts;  // strip byte counts
  std::vector<std::uint8_t> data;          // written at byte 8
};

// Little-endian classic TIFF: header, data, then the one directory and its arrays.
inline std::vector<std::uint8_t> strip_page_tiff(const StripPage& p) {
  std::vector<std::uint8_t> out;
  auto put16 = [&](std::uint16_t v) { out.push_back(v & 0xff), out.push_back(v >> 8); };
  auto put32 = [&](std::uint32_t v) {
    for (int b = 0; b < 4; ++b) out.push_back(static_cast<std::uint8_t>(v >> (8 * b)));
  };
  put16(0x4949), put16(42);  // "II", little-endian
  const auto ifd = static_cast<std::uint32_t>(8 + p.data.size() + p.data.size() % 2);
  put32(ifd);
  for (std::uint8_t b : p.data) out.push_back(b);
  if (out.size() % 2) out.push_back(0);
  const auto strips = static_cast<std::uint32_t>(p.offsets.size());
  constexpr std::uint16_t ENTRIES = 9;
  const std::uint32_t arrays = ifd + 2 + ENTRIES * 12 + 4;
  auto entry = [&](std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value) {
    put16(tag), put16(type), put32(count);
    if (type == 3 && count == 1) put16(static_cast<std::uint16_t>(value)), put16(0);
    else put32(value);
  };
  put16(ENTRIES);
  entry(256, 4, 1, p.width);
  entry(257, 4, 1, p.height);
  entry(258, 3, 1, 8);
  entry(259, 3, 1, p.compression);
  entry(262, 3, 1, 1);
  entry(273, 4, strips, strips == 1 ? p.offsets[0] : arrays);
  entry(277, 3, 1, 1);
  entry(278, 4, 1, (p.height + strips - 1) / strips);
  entry(279, 4, strips, strips == 1 ? p.byte_counts[0] : arrays + 4 * strips);
  put32(0);
  if (strips > 1) {
    for (std::uint32_t v : p.offsets) put32(v);
    for (std::uint32_t v : p.byte_counts) put32(v);
  }
  return out;
}

// The strip bomb: `rows` strips of `rows` bytes, all pointing at the same
// `rows` bytes, declaring a rows x rows page (100 000 rows: 0.9 MB of file,
// 10 GB of pixels).
inline std::vector<std::uint8_t> strip_bomb(std::uint32_t rows, std::uint16_t compression = 1) {
  StripPage p;
  p.width = p.height = rows;
  p.compression = compression;
  p.data.assign(rows, 7);
  p.offsets.assign(rows, 8);
  p.byte_counts.assign(rows, rows);
  return strip_page_tiff(p);
}

inline std::uint32_t read32(const std::vector<std::uint8_t>& f, std::size_t at) {
  std::uint32_t v;
  std::memcpy(&v, f.data() + at, 4);
  return v;
}

// Offsets of the directories of a little-endian classic TIFF, in order.
inline std::vector<std::uint32_t> directory_offsets(const std::vector<std::uint8_t>& f) {
  std::vector<std::uint32_t> offsets;
  for (std::uint32_t at = read32(f, 4); at != 0 && offsets.size() < 1000;) {
    offsets.push_back(at);
    const std::uint16_t entries = static_cast<std::uint16_t>(f[at] | (f[at + 1] << 8));
    at = read32(f, at + 2 + 12u * entries);
  }
  return offsets;
}

// Points the last directory's "next" at the first: a loop.
inline void loop_directories(std::vector<std::uint8_t>& f) {
  const std::vector<std::uint32_t> d = directory_offsets(f);
  const std::uint32_t last = d.back();
  const std::uint16_t entries = static_cast<std::uint16_t>(f[last] | (f[last + 1] << 8));
  std::memcpy(f.data() + last + 2 + 12u * entries, &d.front(), 4);
}

inline std::vector<std::uint8_t> read_bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_bytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace csolver::testing
