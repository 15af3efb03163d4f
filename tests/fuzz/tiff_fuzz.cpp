// libFuzzer target: the TIFF stack reader must turn any bytes into a mask or
// an ImageError, never a crash, a hang, undefined behaviour or an allocation
// beyond the memory it was given.
#include "images/image_volume.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {
// What a mask may take here: enough for every page a seed holds, small
// enough that a declared size which slips past the checks shows as an
// allocation beyond -rss_limit_mb.
constexpr std::size_t MEMORY = 16u << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using csolver::image::Selection;
  try {
    const auto mask = csolver::image::read_tiff_bytes("fuzz.tif", std::span(data, size), {Selection::Kind::nonzero, 0, false}, MEMORY);
    // A mask that was accepted holds exactly its declared voxels.
    if (mask.nx < 1 || mask.ny < 1 || mask.nz < 1 ||
        mask.inside.size() != static_cast<std::size_t>(mask.nx) * static_cast<std::size_t>(mask.ny) * static_cast<std::size_t>(mask.nz))
      __builtin_trap();
  } catch (const csolver::image::ImageError&) {
  }
  return 0;
}
