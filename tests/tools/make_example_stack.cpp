// Writes the TIFF stack of examples/tiff_ball: the ball the image tests use,
// 41^3 voxels, 8-bit, radius 10 voxels (0.5 in grid units once laid onto a
// grid), grey level 60 inside a background of 200 (a dark pore).
#include "images/image_volume.h"
#include "tools/tool_test_support.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_example_stack FILE.tif\n");
    return 2;
  }
  constexpr std::int32_t n = 41;
  csolver::image::write_tiff_stack(argv[1], n, n, n, csolver::testing::ball_samples(n, n, 10, 60, 200), 8);
  return 0;
}
