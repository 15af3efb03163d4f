#pragma once
// Shared by the tool tests: a scratch directory per test and the generator
// run in-process with its console output captured.
#include "contribution_input/generator.h"
#include "support/scratch.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <cstdint>
#include <string>
#include <unistd.h>
#include <vector>

namespace csolver::testing {

// Greyscale samples of a ball (or, with nz = 1, a disk) of `radius_voxels`
// about the centre voxel of an n x n x nz image, drawn by integer voxel
// distances so that it does not depend on the shapes library.
inline std::vector<std::uint16_t> ball_samples(std::int32_t n, std::int32_t nz, double radius_voxels,
                                               std::uint16_t inside, std::uint16_t outside) {
  const std::int32_t centre = (n - 1) / 2;
  std::vector<std::uint16_t> samples;
  samples.reserve(static_cast<std::size_t>(n) * static_cast<std::size_t>(n) * static_cast<std::size_t>(nz));
  for (std::int32_t z = 0; z < nz; ++z)
    for (std::int32_t y = 0; y < n; ++y)
      for (std::int32_t x = 0; x < n; ++x) {
        const double dz = nz == 1 ? 0 : z - centre;
        const double r2 = double(x - centre) * (x - centre) + double(y - centre) * (y - centre) + dz * dz;
        samples.push_back(r2 <= radius_voxels * radius_voxels ? inside : outside);
      }
  return samples;
}

inline std::string read_stream(std::FILE* f) {
  std::rewind(f);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
  std::fclose(f);
  return text;
}

// A front end run in this process: its exit status and what it printed.
struct Captured {
  int status = 0;
  std::string out, err;
};
using GeneratorOutput = Captured;

// run(out, err) returns the exit status; its two streams are captured.
template <class Run>
Captured capture_run(Run&& run) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  Captured c;
  c.status = run(out, err);
  c.out = read_stream(out);
  c.err = read_stream(err);
  return c;
}

inline GeneratorOutput run_generator_captured(const std::vector<std::string>& args) {
  return capture_run([&](std::FILE* out, std::FILE* err) { return generator::run_generator(args, out, err); });
}


}  // namespace csolver::testing
