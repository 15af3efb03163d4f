// Hostile and damaged image files: each is refused with a message that says
// what is wrong and where, before any pixel is allocated; none is read as
// a smaller image.
#include "tools/images/hostile_tiff.h"

#include "images/image_volume.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>

namespace csolver {
namespace {

using testing::ScratchDir;
using Kind = image::Selection::Kind;
using Bytes = std::vector<std::uint8_t>;

constexpr std::size_t GIB = std::size_t{1} << 30;

// A 5 x 4 x 6 stack of known content, as libtiff writes it (each page's
// strips, then its directory).
Bytes good_stack(const std::filesystem::path& dir, bool lzw = false) {
  std::vector<std::uint16_t> samples(5 * 4 * 6);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<std::uint16_t>(i % 3 == 0 ? 200 : 0);
  const auto file = dir / "good.tif";
  image::write_tiff_stack(file, 5, 4, 6, samples, 8, lzw);
  return testing::read_bytes(file);
}

struct HostileCase {
  const char* name;
  std::function<Bytes(const Bytes& good)> make;
  std::size_t memory = GIB;
  const char* message;  // the refusal names the damage and where it is
};
void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

Bytes cut(const Bytes& b, std::size_t size) { return Bytes(b.begin(), b.begin() + static_cast<std::ptrdiff_t>(size)); }

const HostileCase HOSTILE[] = {
    {"cut_in_half", [](const Bytes& g) { return cut(g, g.size() / 2); }, GIB, "truncated or damaged"},
    {"cut_inside_the_last_directory", [](const Bytes& g) { return cut(g, g.size() - 10); }, GIB,
     "truncated or damaged after page 5: the directory of page 6"},
    {"cut_inside_the_strip_of_page_4",
     [](const Bytes& g) { return cut(g, testing::directory_offsets(g)[3] - 5); }, GIB,
     "truncated or damaged after page 3: the directory of page 4"},
    {"directories_in_a_loop",
     [](const Bytes& g) {
       Bytes b = g;
       testing::loop_directories(b);
       return b;
     },
     GIB, "truncated or damaged after page 6"},
    {"strip_beyond_the_end",
     [](const Bytes&) {
       testing::StripPage p;
       p.data.assign(16, 1);
       p.offsets = {8, 12, 16, 4000};
       p.byte_counts = {4, 4, 4, 4};
       return testing::strip_page_tiff(p);
     },
     GIB, "page 1, strip 4 of 4 lies at bytes 4000 to 4004, beyond the file's end"},
    {"uncompressed_strips_too_short",
     [](const Bytes&) {
       testing::StripPage p;
       p.data.assign(16, 1);
       p.offsets = {8, 12, 16, 20};
       p.byte_counts = {4, 4, 4, 1};
       return testing::strip_page_tiff(p);
     },
     GIB, "page 1 stores 13 bytes of pixels, but 4 x 4 samples need 16"},
    {"strip_bomb_uncompressed", [](const Bytes&) { return testing::strip_bomb(100000); }, 64 * GIB,
     "its page declares 10000000000 bytes of pixels, more than a file of 900122 bytes can hold uncompressed"},
    {"strip_bomb_lzw", [](const Bytes&) { return testing::strip_bomb(100000, 5); }, 64 * GIB,
     "its page declares 10000000000 bytes of pixels, more than a file of 900122 bytes can hold compressed"},
    {"larger_than_memory", [](const Bytes& g) { return g; }, 100, "the image's mask needs about"},
};

class HostileTiff : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileTiff, IsRefusedWithWhereItBreaks) {
  const HostileCase& c = GetParam();
  ScratchDir dir(std::string("hostile_") + c.name);
  const Bytes bytes = c.make(good_stack(dir.path()));
  try {
    const image::Mask mask = image::read_tiff_bytes("hostile.tif", bytes, {Kind::nonzero, 0, false}, c.memory);
    ADD_FAILURE() << "read as " << mask.nx << " x " << mask.ny << " x " << mask.nz;
  } catch (const image::ImageError& e) {
    EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    EXPECT_EQ(std::string(e.what()).rfind("hostile.tif: ", 0), 0u) << e.what();
  }
}

INSTANTIATE_TEST_SUITE_P(Files, HostileTiff, ::testing::ValuesIn(HOSTILE),
                         [](const ::testing::TestParamInfo<HostileCase>& i) { return std::string(i.param.name); });

// The same bytes whole are read in full, from memory and from the file, so the
// refusals above come from the damage, not from the reader.
TEST(HostileTiff, TheUndamagedStackReadsWhole) {
  ScratchDir dir("hostile_good");
  for (bool lzw : {false, true}) {
    const Bytes bytes = good_stack(dir.path(), lzw);
    const image::Mask from_memory = image::read_tiff_bytes("good.tif", bytes, {Kind::nonzero, 0, false}, GIB);
    const image::Mask from_file = image::read_tiff_stack(dir.path() / "good.tif", {Kind::nonzero, 0, false});
    EXPECT_EQ(from_memory.nz, 6);
    EXPECT_EQ(from_memory.inside, from_file.inside);
    ASSERT_EQ(from_memory.inside.size(), 120u);
    for (std::size_t i = 0; i < 120; ++i) EXPECT_EQ(from_memory.inside[i], i % 3 == 0 ? 1 : 0) << i;
    // A truncated file on disk is refused the same way.
    testing::write_bytes(dir.path() / "cut.tif", cut(bytes, bytes.size() * 2 / 3));
    EXPECT_THROW(image::read_tiff_stack(dir.path() / "cut.tif", {Kind::nonzero, 0, false}), image::ImageError);
  }
}

// Raw volumes: the size must match --dims exactly, either way, and a NaN
// sample is neither inside nor outside, with or without --invert.
TEST(HostileRaw, SizeMustMatchAndNanIsRefused) {
  const std::array<std::int32_t, 3> dims{3, 2, 2};
  const Bytes exact(12, 9);
  EXPECT_EQ(image::read_raw_bytes("v.raw", exact, dims, image::SampleType::u8, 0, {Kind::threshold, 5, false}, GIB).inside.size(), 12u);
  struct Case {
    Bytes bytes;
    std::size_t memory;
    const char* message;
  };
  for (const Case& c : {Case{Bytes(13, 9), GIB, "holds 13 bytes, but 3 x 2 x 2 samples of 1 bytes after a header of 0 need exactly 12 (the file is larger"},
                        Case{Bytes(11, 9), GIB, "need exactly 12 (the file is truncated"},
                        Case{exact, 5, "the image's mask needs about"}}) {
    try {
      image::read_raw_bytes("v.raw", c.bytes, dims, image::SampleType::u8, 0, {Kind::threshold, 5, false}, c.memory);
      ADD_FAILURE() << c.message;
    } catch (const image::ImageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  // f32 with a NaN at voxel (1, 0, 1).
  std::vector<float> values(12, 1.0f);
  values[1 + 3 * 2] = std::numeric_limits<float>::quiet_NaN();
  Bytes f32(48);
  std::memcpy(f32.data(), values.data(), 48);
  for (bool invert : {false, true}) {
    try {
      image::read_raw_bytes("v.raw", f32, dims, image::SampleType::f32le, 0, {Kind::threshold, 0.5, invert}, GIB);
      ADD_FAILURE() << "NaN accepted, invert " << invert;
    } catch (const image::ImageError& e) {
      EXPECT_NE(std::string(e.what()).find("voxel (1, 0, 1) (counted from 0) is NaN"), std::string::npos) << e.what();
    }
  }
  // And the file reader gives the same refusals.
  ScratchDir dir("hostile_raw");
  testing::write_bytes(dir.path() / "big.raw", Bytes(13, 9));
  EXPECT_THROW(image::read_raw_volume(dir.path() / "big.raw", dims, image::SampleType::u8, 0, {Kind::nonzero, 0, false}),
               image::ImageError);
}

}  // namespace
}  // namespace csolver
