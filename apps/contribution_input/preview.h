#pragma once
// A PNG picture of the nodes the program will solve on: three orthogonal
// mid-slices of the flags side by side (xy at z = 0, xz at y = 0, yz at
// x = 0, each with its second axis pointing up), or the crack's plane k = 1.
#include "model/problem_setup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace csolver::preview {

// 8-bit greyscale PNG of width * height pixels, rows from the top.
std::string encode_png(std::int32_t width, std::int32_t height, const std::vector<std::uint8_t>& pixels);

struct Picture {
  std::int32_t width = 0, height = 0;
  std::vector<std::uint8_t> pixels;
};

Picture volume_slices(const NodeTable& nodes);
Picture crack_plane(const NodeTable& nodes);

}  // namespace csolver::preview
