#include "images/image_volume.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <tiffio.h>

namespace csolver::image {

namespace fs = std::filesystem;

namespace {

bool selected(double value, const Selection& s) {
  bool in = false;
  switch (s.kind) {
    case Selection::Kind::nonzero: in = value != 0; break;
    case Selection::Kind::threshold: in = value >= s.value; break;
    case Selection::Kind::label: in = value == s.value; break;
  }
  return in != s.invert;
}

// libtiff reports through callbacks; this one keeps the message for the
// exception instead of printing it, and silences warnings (unknown tags are common).
struct TiffMessages {
  std::string last_error;
};

int keep_error(TIFF*, void* user_data, const char* module, const char* format, va_list args) {
  char text[512];
  std::vsnprintf(text, sizeof text, format, args);
  static_cast<TiffMessages*>(user_data)->last_error = std::string(module ? module : "libtiff") + ": " + text;
  return 1;
}

int ignore_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle open_tiff(const fs::path& file, const char* mode, TiffMessages& messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, keep_error, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignore_warning, nullptr);
  TIFF* tif = TIFFOpenExt(file.c_str(), mode, options);
  TIFFOpenOptionsFree(options);
  return TiffHandle(tif);
}

[[noreturn]] void tiff_fail(const fs::path& file, const std::string& what, const TiffMessages& messages) {
  throw ImageError(file.string() + ": " + what + (messages.last_error.empty() ? "" : " (" + messages.last_error + ")"));
}

}  // namespace

Mask read_tiff_stack(const fs::path& file, const Selection& selection) {
  if (!fs::is_regular_file(file)) throw ImageError(file.string() + ": no such image file");
  TiffMessages messages;
  TiffHandle tif = open_tiff(file, "r", messages);
  if (!tif) tiff_fail(file, "cannot be read as a TIFF file", messages);
  Mask mask;
  std::int32_t page = 0;
  do {
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, samples = 0, format = 0, planar = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
    const std::string where = "page " + std::to_string(page + 1);
    if (samples != 1) tiff_fail(file, where + " has " + std::to_string(samples) + " samples per pixel; expected greyscale (1)", messages);
    if (bits != 8 && bits != 16) tiff_fail(file, where + " has " + std::to_string(bits) + " bits per sample; expected 8 or 16", messages);
    if (format != SAMPLEFORMAT_UINT) tiff_fail(file, where + " does not hold unsigned integer samples", messages);
    if (TIFFIsTiled(tif.get())) tiff_fail(file, where + " is tiled; save the stack with strips (the usual layout)", messages);
    if (width == 0 || height == 0 || width > INT32_MAX / 2 || height > INT32_MAX / 2)
      tiff_fail(file, where + " has an unusable size", messages);
    if (page == 0) {
      mask.nx = static_cast<std::int32_t>(width);
      mask.ny = static_cast<std::int32_t>(height);
    } else if (mask.nx != static_cast<std::int32_t>(width) || mask.ny != static_cast<std::int32_t>(height)) {
      tiff_fail(file, where + " is " + std::to_string(width) + " x " + std::to_string(height) + ", page 1 is " +
                          std::to_string(mask.nx) + " x " + std::to_string(mask.ny) + "; all pages must be the same size",
                messages);
    }
    std::vector<std::uint8_t> row(static_cast<std::size_t>(TIFFScanlineSize(tif.get())));
    if (row.size() < static_cast<std::size_t>(width) * (bits / 8)) tiff_fail(file, where + " has short scanlines", messages);
    for (std::uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tif.get(), row.data(), y, 0) < 0) tiff_fail(file, where + ", row " + std::to_string(y + 1) + " cannot be read", messages);
      for (std::uint32_t x = 0; x < width; ++x) {
        double value = row[x];
        if (bits == 16) {
          std::uint16_t sample;  // libtiff hands out native byte order
          std::memcpy(&sample, row.data() + 2 * static_cast<std::size_t>(x), 2);
          value = sample;
        }
        mask.inside.push_back(selected(value, selection) ? 1 : 0);
      }
    }
    ++page;
  } while (TIFFReadDirectory(tif.get()));
  mask.nz = page;
  return mask;
}

SampleType parse_sample_type(const std::string& name) {
  if (name == "u8") return SampleType::u8;
  if (name == "u16" || name == "u16le") return SampleType::u16le;
  if (name == "u16be") return SampleType::u16be;
  if (name == "i16" || name == "i16le") return SampleType::i16le;
  if (name == "f32" || name == "f32le") return SampleType::f32le;
  throw ImageError("unknown sample type '" + name + "'; expected u8, u16, u16be, i16 or f32");
}

namespace {
std::size_t sample_bytes(SampleType type) {
  switch (type) {
    case SampleType::u8: return 1;
    case SampleType::u16le:
    case SampleType::u16be:
    case SampleType::i16le: return 2;
    case SampleType::f32le: return 4;
  }
  return 1;
}

double sample_value(const unsigned char* p, SampleType type) {
  switch (type) {
    case SampleType::u8: return p[0];
    case SampleType::u16le: return p[0] | (p[1] << 8);
    case SampleType::u16be: return (p[0] << 8) | p[1];
    case SampleType::i16le: return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
    case SampleType::f32le: {
      const std::uint32_t bits = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                                 (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
      return std::bit_cast<float>(bits);
    }
  }
  return 0;
}
}  // namespace

Mask read_raw_volume(const fs::path& file, const std::array<std::int32_t, 3>& dims, SampleType type,
                     std::size_t header_bytes, const Selection& selection) {
  for (std::int32_t d : dims)
    if (d < 1) throw ImageError("raw volume dimensions must be at least 1 each");
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ImageError(file.string() + ": cannot open the raw volume");
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  const std::size_t bytes = sample_bytes(type);
  const std::uintmax_t needed = header_bytes + static_cast<std::uintmax_t>(dims[0]) * static_cast<std::uintmax_t>(dims[1]) *
                                                    static_cast<std::uintmax_t>(dims[2]) * bytes;
  if (error || size < needed)
    throw ImageError(file.string() + ": holds " + std::to_string(error ? 0 : size) + " bytes, but " +
                     std::to_string(dims[0]) + " x " + std::to_string(dims[1]) + " x " + std::to_string(dims[2]) +
                     " samples of " + std::to_string(bytes) + " bytes after a header of " + std::to_string(header_bytes) +
                     " need " + std::to_string(needed));
  Mask mask{dims[0], dims[1], dims[2], {}};
  mask.inside.reserve(static_cast<std::size_t>(needed - header_bytes) / bytes);
  in.seekg(static_cast<std::streamoff>(header_bytes));
  // One slice at a time: a tomogram may be far larger than the mask.
  std::vector<unsigned char> slice(static_cast<std::size_t>(dims[0]) * static_cast<std::size_t>(dims[1]) * bytes);
  for (std::int32_t z = 0; z < dims[2]; ++z) {
    if (!in.read(reinterpret_cast<char*>(slice.data()), static_cast<std::streamsize>(slice.size())))
      throw ImageError(file.string() + ": read failed in slice " + std::to_string(z + 1));
    for (std::size_t s = 0; s < slice.size(); s += bytes)
      mask.inside.push_back(selected(sample_value(slice.data() + s, type), selection) ? 1 : 0);
  }
  return mask;
}

void write_tiff_stack(const fs::path& file, std::int32_t nx, std::int32_t ny, std::int32_t nz,
                      const std::vector<std::uint16_t>& samples, int bits, bool lzw) {
  if (bits != 8 && bits != 16) throw ImageError("a TIFF stack is written with 8 or 16 bits per sample");
  if (samples.size() != static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) * static_cast<std::size_t>(nz))
    throw ImageError("write_tiff_stack: sample count does not match nx * ny * nz");
  TiffMessages messages;
  TiffHandle tif = open_tiff(file, "w", messages);
  if (!tif) tiff_fail(file, "cannot be created", messages);
  const std::size_t bytes = static_cast<std::size_t>(bits / 8);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(nx) * bytes);
  std::size_t next = 0;
  for (std::int32_t z = 0; z < nz; ++z) {
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(nx));
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(ny));
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(bits));
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(1));
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, lzw ? COMPRESSION_LZW : COMPRESSION_NONE);
    // Several strips per page when compressed, so that reading crosses strips.
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, static_cast<std::uint32_t>(lzw ? std::max(1, ny / 4) : ny));
    TIFFSetField(tif.get(), TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
    TIFFSetField(tif.get(), TIFFTAG_PAGENUMBER, static_cast<std::uint16_t>(z), static_cast<std::uint16_t>(nz));
    for (std::int32_t y = 0; y < ny; ++y) {
      for (std::size_t x = 0; x < static_cast<std::size_t>(nx); ++x) {
        const std::uint16_t sample = samples[next++];
        if (bits == 8) row[x] = static_cast<std::uint8_t>(sample);
        else std::memcpy(row.data() + 2 * x, &sample, 2);
      }
      if (TIFFWriteScanline(tif.get(), row.data(), static_cast<std::uint32_t>(y), 0) < 0)
        tiff_fail(file, "write failed", messages);
    }
    if (!TIFFWriteDirectory(tif.get())) tiff_fail(file, "write failed", messages);
  }
}

namespace {
std::array<AxisMap, 3> axis_maps(const std::array<std::int32_t, 3>& n, const Placement& p, int rank) {
  if (!(p.fill > 0)) throw ImageError("--fill must be positive");
  double longest = 0;
  for (int a = 0; a < rank; ++a) {
    if (!(p.voxel_size[static_cast<std::size_t>(a)] > 0)) throw ImageError("voxel sizes must be positive");
    longest = std::max(longest, (n[static_cast<std::size_t>(a)] - 1) * p.voxel_size[static_cast<std::size_t>(a)]);
  }
  if (longest <= 0) throw ImageError("the image is a single voxel; it cannot be laid onto the grid");
  std::array<AxisMap, 3> maps{};
  for (std::size_t a = 0; a < static_cast<std::size_t>(rank); ++a) {
    // The longest extent spans fill * 2 grid units; the others keep the aspect.
    maps[a] = {(n[a] - 1) / 2.0, longest / (2 * p.fill) / p.voxel_size[a], n[a]};
  }
  return maps;
}
}  // namespace

std::array<AxisMap, 3> volume_axis_maps(const Mask& mask, const Placement& placement) {
  return axis_maps({mask.nx, mask.ny, mask.nz}, placement, 3);
}

shapes::Indicator volume_indicator(const Mask& mask, const Placement& placement) {
  const auto maps = volume_axis_maps(mask, placement);
  // The mask is captured by reference: it can be gigabytes, and the caller
  // keeps it while the grid is filled.
  return [&mask, maps](const shapes::Point& p) {
    const std::int32_t x = maps[0].voxel(p[0]), y = maps[1].voxel(p[1]), z = maps[2].voxel(p[2]);
    return x >= 0 && y >= 0 && z >= 0 && mask.at(x, y, z);
  };
}

std::function<bool(double, double)> planform_indicator(const Mask& mask, const Placement& placement) {
  if (mask.nz != 1) throw ImageError("a crack planform needs a single-page image; this one has " + std::to_string(mask.nz) + " pages");
  const auto maps = axis_maps({mask.nx, mask.ny, 1}, placement, 2);
  return [&mask, maps](double px, double py) {
    const std::int32_t x = maps[0].voxel(px), y = maps[1].voxel(py);
    return x >= 0 && y >= 0 && mask.at(x, y, 0);
  };
}

}  // namespace csolver::image
