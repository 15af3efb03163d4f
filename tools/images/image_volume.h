#pragma once
// 3-D images (TIFF stacks, raw volumes) and 2-D images as shapes on the
// program's grid: a voxel is inside by a threshold or a label, and the image
// is laid onto the grid with its aspect kept and sampled by nearest neighbour.
//
// Axes: image column -> x (index i), row -> y (j), page or slice -> z (k).
#include "shapes/shapes.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace csolver::image {

class ImageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Which voxels belong to the shape.
struct Selection {
  enum class Kind { nonzero, threshold, label };
  Kind kind = Kind::nonzero;
  double value = 0;     // threshold: inside if voxel >= value; label: inside if voxel == value
  bool invert = false;  // take the complement (pores in a solid, dark inclusions)
};

// Inside/outside per voxel, x fastest, then y, then z.
struct Mask {
  std::int32_t nx = 0, ny = 0, nz = 0;
  std::vector<std::uint8_t> inside;

  bool at(std::int32_t x, std::int32_t y, std::int32_t z) const {
    return inside[static_cast<std::size_t>(x) +
                  static_cast<std::size_t>(nx) * (static_cast<std::size_t>(y) + static_cast<std::size_t>(ny) * static_cast<std::size_t>(z))] != 0;
  }
};

// Multi-page greyscale TIFF, 8- or 16-bit unsigned, one page per z slice, all
// pages the same size. A single page gives nz = 1.
//
// A stack is read whole or refused: every page's directory and strips must
// lie inside the file (a truncated or damaged file names the page where it
// breaks), and the declared pixels are checked against the file's size and
// against `memory_bytes` (0: the machine's memory) before any is allocated,
// so that a small file declaring a huge page is refused at once.
Mask read_tiff_stack(const std::filesystem::path& file, const Selection& selection, std::size_t memory_bytes = 0);
// The same for a TIFF file held in memory (`name` labels the messages).
Mask read_tiff_bytes(const std::string& name, std::span<const std::uint8_t> bytes, const Selection& selection,
                     std::size_t memory_bytes);

enum class SampleType { u8, u16le, u16be, i16le, f32le };
// Parses u8, u16, u16le, u16be, i16, i16le, f32, f32le.
SampleType parse_sample_type(const std::string& name);

// Headerless volume of nx * ny * nz samples, x fastest, after `header_bytes`.
// The file must hold exactly that many bytes: a size that differs means the
// dimensions or the sample type are wrong, and the image would be sheared.
// A NaN sample is refused (it is neither inside nor outside).
Mask read_raw_volume(const std::filesystem::path& file, const std::array<std::int32_t, 3>& dims, SampleType type,
                     std::size_t header_bytes, const Selection& selection, std::size_t memory_bytes = 0);
// The same for a raw file held in memory.
Mask read_raw_bytes(const std::string& name, std::span<const std::uint8_t> bytes, const std::array<std::int32_t, 3>& dims,
                    SampleType type, std::size_t header_bytes, const Selection& selection, std::size_t memory_bytes);

// Greyscale samples, x fastest, one page per z; bits 8 or 16; uncompressed
// or LZW (common in tomography output). For tests and the examples, which
// need stacks of known content.
void write_tiff_stack(const std::filesystem::path& file, std::int32_t nx, std::int32_t ny, std::int32_t nz,
                      const std::vector<std::uint16_t>& samples, int bits, bool lzw = false);

// How the image is laid onto the grid. Voxel centres are voxel_size apart;
// the longest extent between first and last voxel centre spans `fill` of the
// cube's side, centred, so a grid node on the cube's faces samples a voxel at
// the image's border when fill = 1.
struct Placement {
  std::array<double, 3> voxel_size{1, 1, 1};
  double fill = 1;
};

// Grid coordinate (ideal, in [-1, 1]) to the nearest voxel index along one
// axis, or -1 outside the image: the one rule by which every image is sampled.
struct AxisMap {
  double centre = 0;  // (n - 1)/2 in voxel units
  double scale = 0;   // voxel units per unit of grid coordinate
  std::int32_t n = 0;

  std::int32_t voxel(double x) const {
    const double t = std::floor(centre + x * scale + 0.5);
    return t < 0 || t >= n ? -1 : static_cast<std::int32_t>(t);
  }
};

// The three axis maps of a 3-D image under a placement.
std::array<AxisMap, 3> volume_axis_maps(const Mask& mask, const Placement& placement);

// Nearest-voxel membership at grid points (ideal coordinates in [-1, 1]).
shapes::Indicator volume_indicator(const Mask& mask, const Placement& placement);
// The same for a single-page image laid onto the crack plane (x, y).
std::function<bool(double, double)> planform_indicator(const Mask& mask, const Placement& placement);

}  // namespace csolver::image
