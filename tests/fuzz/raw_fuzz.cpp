// libFuzzer target: the raw volume reader. The first five bytes choose the
// dimensions (1..16 each), the sample type and the header's length; the rest
// is the file. Any input gives a mask or an ImageError.
#include "images/image_volume.h"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace csolver::image;
  if (size < 5) return 0;
  const std::array<std::int32_t, 3> dims{1 + data[0] % 16, 1 + data[1] % 16, 1 + data[2] % 16};
  constexpr SampleType TYPES[] = {SampleType::u8, SampleType::u16le, SampleType::u16be, SampleType::i16le, SampleType::f32le};
  const SampleType type = TYPES[data[3] % 5];
  const std::size_t header = data[4] % 8;
  const Selection selection{static_cast<Selection::Kind>(data[3] / 5 % 3), static_cast<double>(data[4] / 8), (data[3] & 0x80) != 0};
  try {
    const Mask mask = read_raw_bytes("fuzz.raw", std::span(data + 5, size - 5), dims, type, header, selection, 1u << 20);
    if (mask.inside.size() != static_cast<std::size_t>(dims[0] * dims[1] * dims[2])) __builtin_trap();
    for (std::uint8_t v : mask.inside)
      if (v > 1) __builtin_trap();
  } catch (const ImageError&) {
  }
  return 0;
}
