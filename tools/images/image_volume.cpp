#include "images/image_volume.h"

#include "api/memory_estimate.h"
#include "system/memory.h"

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

struct TiffOptionsFree {
  void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};
using TiffOptions = std::unique_ptr<TIFFOpenOptions, TiffOptionsFree>;

TiffOptions make_options(TiffMessages& messages) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options, keep_error, &messages);
  TIFFOpenOptionsSetWarningHandlerExtR(options, ignore_warning, nullptr);
  return TiffOptions(options);
}

TiffHandle open_tiff(const fs::path& file, const char* mode, TiffMessages& messages) {
  const TiffOptions options = make_options(messages);
  return TiffHandle(TIFFOpenExt(file.c_str(), mode, options.get()));
}

// A TIFF file held in memory, read through libtiff's client interface.
struct MemoryFile {
  const std::uint8_t* data = nullptr;
  std::uint64_t size = 0;
  std::uint64_t at = 0;
};

tmsize_t memory_read(thandle_t handle, void* buffer, tmsize_t count) {
  auto* f = static_cast<MemoryFile*>(handle);
  if (count <= 0 || f->at >= f->size) return 0;
  const std::uint64_t take = std::min<std::uint64_t>(f->size - f->at, static_cast<std::uint64_t>(count));
  std::memcpy(buffer, f->data + f->at, static_cast<std::size_t>(take));
  f->at += take;
  return static_cast<tmsize_t>(take);
}
tmsize_t memory_write(thandle_t, void*, tmsize_t) { return -1; }
toff_t memory_seek(thandle_t handle, toff_t offset, int whence) {
  auto* f = static_cast<MemoryFile*>(handle);
  const std::uint64_t base = whence == SEEK_CUR ? f->at : whence == SEEK_END ? f->size : 0;
  f->at = base + offset;
  return f->at;
}
int memory_close(thandle_t) { return 0; }
toff_t memory_size(thandle_t handle) { return static_cast<MemoryFile*>(handle)->size; }
int memory_map(thandle_t, void**, toff_t*) { return 0; }
void memory_unmap(thandle_t, void*, toff_t) {}

[[noreturn]] void tiff_fail(const std::string& name, const std::string& what, const TiffMessages& messages) {
  throw ImageError(name + ": " + what + (messages.last_error.empty() ? "" : " (" + messages.last_error + ")"));
}

// No codec of a greyscale TIFF expands its data by more than this: LZW
// reaches about 1 : 1400, Deflate 1 : 1032, PackBits 1 : 64.
constexpr std::uint64_t MAX_EXPANSION = 2048;

std::size_t usable_memory(std::size_t memory_bytes) {
  return memory_bytes > 0 ? memory_bytes : physical_memory_bytes();
}

// Refuses, before anything is allocated, a mask the memory cannot hold.
void require_mask_memory(const std::string& name, std::uint64_t voxels, std::size_t memory_bytes) {
  const std::size_t available = usable_memory(memory_bytes);
  if (voxels > available)
    throw ImageError(name + ": " + memory_shortfall("the image's mask", static_cast<std::size_t>(voxels), available));
}

// Whether the current directory, up to its pointer to the next one, lies
// inside the file. libtiff takes a pointer it cannot read for "no next
// directory", so a stack cut just there would read as fewer pages.
bool directory_inside(TIFF* tif, std::uint64_t file_size) {
  const std::uint64_t at = TIFFCurrentDirOffset(tif);
  const bool big = TIFFIsBigTIFF(tif);
  std::uint8_t raw[8] = {};
  const std::size_t count_bytes = big ? 8 : 2;
  if (at > file_size || file_size - at < count_bytes) return false;
  if (TIFFGetSeekProc(tif)(TIFFClientdata(tif), at, SEEK_SET) != at ||
      TIFFGetReadProc(tif)(TIFFClientdata(tif), raw, static_cast<tmsize_t>(count_bytes)) != static_cast<tmsize_t>(count_bytes))
    return false;
  std::uint64_t count = 0;
  for (std::size_t b = 0; b < count_bytes; ++b) {
    const std::size_t shift = TIFFIsBigEndian(tif) ? 8 * (count_bytes - 1 - b) : 8 * b;
    count |= static_cast<std::uint64_t>(raw[b]) << shift;
  }
  if (count > file_size) return false;
  const std::uint64_t end = at + (big ? 8 + 20 * count + 8 : 2 + 12 * count + 4);
  return end <= file_size;
}

struct PageLayout {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0;
};

// The first pass: every page's directory, format and strips, checked
// against the file's size before a pixel is read. Leaves `tif` on the last page.
std::vector<PageLayout> survey_pages(TIFF* tif, const std::string& name, std::uint64_t file_size,
                                     std::size_t memory_bytes, const TiffMessages& messages) {
  std::vector<PageLayout> pages;
  std::uint64_t declared = 0;  // pixel bytes of the pages so far
  for (;;) {
    PageLayout page;
    std::uint16_t samples = 0, format = 0, compression = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &page.bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
    const std::string where = "page " + std::to_string(pages.size() + 1);
    if (samples != 1) tiff_fail(name, where + " has " + std::to_string(samples) + " samples per pixel; expected greyscale (1)", messages);
    if (page.bits != 8 && page.bits != 16)
      tiff_fail(name, where + " has " + std::to_string(page.bits) + " bits per sample; expected 8 or 16", messages);
    if (format != SAMPLEFORMAT_UINT) tiff_fail(name, where + " does not hold unsigned integer samples", messages);
    if (TIFFIsTiled(tif)) tiff_fail(name, where + " is tiled; save the stack with strips (the usual layout)", messages);
    if (page.width == 0 || page.height == 0 || page.width > INT32_MAX / 2 || page.height > INT32_MAX / 2)
      tiff_fail(name, where + " has an unusable size", messages);
    if (!pages.empty() && (pages[0].width != page.width || pages[0].height != page.height))
      tiff_fail(name, where + " is " + std::to_string(page.width) + " x " + std::to_string(page.height) + ", page 1 is " +
                          std::to_string(pages[0].width) + " x " + std::to_string(pages[0].height) +
                          "; all pages must be the same size",
                messages);
    const std::uint64_t page_bytes = std::uint64_t{page.width} * page.height * (page.bits / 8);
    const std::uint32_t strips = TIFFNumberOfStrips(tif);
    if (strips == 0) tiff_fail(name, where + " has no strips: the file is damaged", messages);
    std::uint64_t stored = 0;
    for (std::uint32_t s = 0; s < strips; ++s) {
      int error = 0;
      const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tif, s, &error);
      const std::uint64_t count = error ? 0 : TIFFGetStrileByteCountWithErr(tif, s, &error);
      if (error) tiff_fail(name, where + ": the position of strip " + std::to_string(s + 1) + " cannot be read: the file is damaged", messages);
      if (count > file_size || offset > file_size - count)
        tiff_fail(name, "the file is truncated or damaged: " + where + ", strip " + std::to_string(s + 1) + " of " +
                            std::to_string(strips) + " lies at bytes " + std::to_string(offset) + " to " +
                            std::to_string(offset + count) + ", beyond the file's end at byte " + std::to_string(file_size),
                  messages);
      stored += count;
    }
    if (compression == COMPRESSION_NONE && stored < page_bytes)
      tiff_fail(name, "the file is truncated or damaged: " + where + " stores " + std::to_string(stored) +
                          " bytes of pixels, but " + std::to_string(page.width) + " x " + std::to_string(page.height) +
                          " samples need " + std::to_string(page_bytes),
                messages);
    declared += page_bytes;
    const std::uint64_t most = compression == COMPRESSION_NONE ? file_size : file_size * MAX_EXPANSION;
    if (declared > most)
      tiff_fail(name, "the file is damaged or hostile: " +
                          (pages.empty() ? std::string("its page declares ") : "its first " + std::to_string(pages.size() + 1) + " pages declare ") +
                          std::to_string(declared) + " bytes of pixels, more than a file of " + std::to_string(file_size) +
                          " bytes can hold" + (compression == COMPRESSION_NONE ? " uncompressed" : " compressed"),
                messages);
    pages.push_back(page);
    require_mask_memory(name, std::uint64_t{page.width} * page.height * pages.size(), memory_bytes);
    if (!directory_inside(tif, file_size))
      tiff_fail(name, "the file is truncated or damaged after page " + std::to_string(pages.size()) +
                          ": its directory runs past the file's end at byte " + std::to_string(file_size),
                messages);
    if (TIFFLastDirectory(tif)) break;
    if (!TIFFReadDirectory(tif))
      tiff_fail(name, "the file is truncated or damaged after page " + std::to_string(pages.size()) +
                          ": the directory of page " + std::to_string(pages.size() + 1) + " cannot be read",
                messages);
  }
  return pages;
}

// Both passes over an open TIFF: survey, then the pixels.
Mask read_tiff(TIFF* tif, const std::string& name, std::uint64_t file_size, const Selection& selection,
               std::size_t memory_bytes, TiffMessages& messages) {
  const std::vector<PageLayout> pages = survey_pages(tif, name, file_size, memory_bytes, messages);
  Mask mask;
  mask.nx = static_cast<std::int32_t>(pages[0].width);
  mask.ny = static_cast<std::int32_t>(pages[0].height);
  mask.nz = static_cast<std::int32_t>(pages.size());
  mask.inside.resize(static_cast<std::size_t>(mask.nx) * static_cast<std::size_t>(mask.ny) * pages.size());
  if (!TIFFSetDirectory(tif, 0)) tiff_fail(name, "page 1 cannot be read again", messages);
  std::size_t next = 0;
  for (std::size_t p = 0; p < pages.size(); ++p) {
    const std::string where = "page " + std::to_string(p + 1);
    if (p > 0 && !TIFFReadDirectory(tif)) tiff_fail(name, where + " cannot be read again", messages);
    const PageLayout& page = pages[p];
    std::uint16_t bits = 0;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    const tmsize_t scanline = TIFFScanlineSize(tif);
    if (bits != page.bits || scanline < static_cast<tmsize_t>(std::uint64_t{page.width} * (page.bits / 8)))
      tiff_fail(name, where + " has short scanlines", messages);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(scanline));
    for (std::uint32_t y = 0; y < page.height; ++y) {
      if (TIFFReadScanline(tif, row.data(), y, 0) < 0)
        tiff_fail(name, "the file is truncated or damaged: " + where + ", row " + std::to_string(y + 1) + " cannot be read", messages);
      for (std::uint32_t x = 0; x < page.width; ++x) {
        double value = row[x];
        if (page.bits == 16) {
          std::uint16_t sample;  // libtiff hands out native byte order
          std::memcpy(&sample, row.data() + 2 * static_cast<std::size_t>(x), 2);
          value = sample;
        }
        mask.inside[next++] = selected(value, selection) ? 1 : 0;
      }
    }
  }
  return mask;
}

}  // namespace

Mask read_tiff_stack(const fs::path& file, const Selection& selection, std::size_t memory_bytes) {
  if (!fs::is_regular_file(file)) throw ImageError(file.string() + ": no such image file");
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) throw ImageError(file.string() + ": cannot be read (" + error.message() + ")");
  TiffMessages messages;
  TiffHandle tif = open_tiff(file, "r", messages);
  if (!tif) tiff_fail(file.string(), "cannot be read as a TIFF file", messages);
  return read_tiff(tif.get(), file.string(), size, selection, memory_bytes, messages);
}

Mask read_tiff_bytes(const std::string& name, std::span<const std::uint8_t> bytes, const Selection& selection,
                     std::size_t memory_bytes) {
  TiffMessages messages;
  MemoryFile memory{bytes.data(), bytes.size(), 0};
  const TiffOptions options = make_options(messages);
  TiffHandle tif(TIFFClientOpenExt(name.c_str(), "r", &memory, memory_read, memory_write, memory_seek, memory_close,
                                   memory_size, memory_map, memory_unmap, options.get()));
  if (!tif) tiff_fail(name, "cannot be read as a TIFF file", messages);
  return read_tiff(tif.get(), name, bytes.size(), selection, memory_bytes, messages);
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

namespace {
// The file's size against the dimensions, exactly, and the mask against the
// memory: both before anything is allocated.
std::uint64_t check_raw_size(const std::string& name, std::uint64_t size, const std::array<std::int32_t, 3>& dims,
                             std::size_t bytes, std::size_t header_bytes, std::size_t memory_bytes) {
  for (std::int32_t d : dims)
    if (d < 1) throw ImageError("raw volume dimensions must be at least 1 each");
  const std::uint64_t voxels = static_cast<std::uint64_t>(dims[0]) * static_cast<std::uint64_t>(dims[1]) *
                               static_cast<std::uint64_t>(dims[2]);
  const std::uint64_t needed = header_bytes + voxels * bytes;
  if (size != needed)
    throw ImageError(name + ": holds " + std::to_string(size) + " bytes, but " + std::to_string(dims[0]) + " x " +
                     std::to_string(dims[1]) + " x " + std::to_string(dims[2]) + " samples of " + std::to_string(bytes) +
                     " bytes after a header of " + std::to_string(header_bytes) + " need exactly " + std::to_string(needed) +
                     (size > needed ? " (the file is larger: check --dims, --type and --header-bytes)"
                                    : " (the file is truncated, or --dims, --type or --header-bytes are wrong)"));
  require_mask_memory(name, voxels, memory_bytes);
  return voxels;
}

// Appends one slice's samples to the mask; a NaN stops the read.
void append_slice(Mask& mask, const unsigned char* data, std::size_t bytes, SampleType type, const Selection& selection,
                  const std::string& name, std::int32_t z) {
  const std::size_t n = static_cast<std::size_t>(mask.nx) * static_cast<std::size_t>(mask.ny);
  for (std::size_t s = 0; s < n; ++s) {
    const double value = sample_value(data + s * bytes, type);
    if (std::isnan(value))
      throw ImageError(name + ": the sample at voxel (" + std::to_string(s % static_cast<std::size_t>(mask.nx)) + ", " +
                       std::to_string(s / static_cast<std::size_t>(mask.nx)) + ", " + std::to_string(z) +
                       ") (counted from 0) is NaN, which is neither inside nor outside; replace NaN in the image first");
    mask.inside.push_back(selected(value, selection) ? 1 : 0);
  }
}
}  // namespace

Mask read_raw_volume(const fs::path& file, const std::array<std::int32_t, 3>& dims, SampleType type,
                     std::size_t header_bytes, const Selection& selection, std::size_t memory_bytes) {
  std::ifstream in(file, std::ios::binary);
  if (!in || !fs::is_regular_file(file)) throw ImageError(file.string() + ": cannot open the raw volume");
  std::error_code error;
  const std::uintmax_t size = fs::file_size(file, error);
  if (error) throw ImageError(file.string() + ": cannot be read (" + error.message() + ")");
  const std::size_t bytes = sample_bytes(type);
  const std::uint64_t voxels = check_raw_size(file.string(), size, dims, bytes, header_bytes, memory_bytes);
  Mask mask{dims[0], dims[1], dims[2], {}};
  mask.inside.reserve(static_cast<std::size_t>(voxels));
  in.seekg(static_cast<std::streamoff>(header_bytes));
  // One slice at a time: a tomogram may be far larger than the mask.
  std::vector<unsigned char> slice(static_cast<std::size_t>(dims[0]) * static_cast<std::size_t>(dims[1]) * bytes);
  for (std::int32_t z = 0; z < dims[2]; ++z) {
    if (!in.read(reinterpret_cast<char*>(slice.data()), static_cast<std::streamsize>(slice.size())))
      throw ImageError(file.string() + ": read failed in slice " + std::to_string(z + 1));
    append_slice(mask, slice.data(), bytes, type, selection, file.string(), z);
  }
  return mask;
}

Mask read_raw_bytes(const std::string& name, std::span<const std::uint8_t> data, const std::array<std::int32_t, 3>& dims,
                    SampleType type, std::size_t header_bytes, const Selection& selection, std::size_t memory_bytes) {
  const std::size_t bytes = sample_bytes(type);
  const std::uint64_t voxels = check_raw_size(name, data.size(), dims, bytes, header_bytes, memory_bytes);
  Mask mask{dims[0], dims[1], dims[2], {}};
  mask.inside.reserve(static_cast<std::size_t>(voxels));
  const std::size_t slice = static_cast<std::size_t>(dims[0]) * static_cast<std::size_t>(dims[1]) * bytes;
  for (std::int32_t z = 0; z < dims[2]; ++z)
    append_slice(mask, data.data() + header_bytes + static_cast<std::size_t>(z) * slice, bytes, type, selection, name, z);
  return mask;
}

void write_tiff_stack(const fs::path& file, std::int32_t nx, std::int32_t ny, std::int32_t nz,
                      const std::vector<std::uint16_t>& samples, int bits, bool lzw) {
  if (bits != 8 && bits != 16) throw ImageError("a TIFF stack is written with 8 or 16 bits per sample");
  if (samples.size() != static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny) * static_cast<std::size_t>(nz))
    throw ImageError("write_tiff_stack: sample count does not match nx * ny * nz");
  TiffMessages messages;
  TiffHandle tif = open_tiff(file, "w", messages);
  if (!tif) tiff_fail(file.string(), "cannot be created", messages);
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
        tiff_fail(file.string(), "write failed", messages);
    }
    if (!TIFFWriteDirectory(tif.get())) tiff_fail(file.string(), "write failed", messages);
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
