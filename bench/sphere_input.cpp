// Writes input.txt for the whole-run benchmark: a stiff sphere (E1/E0 = 10)
// of radius 0.5 centred in the cube, M intervals (default 128, box 65^3).
// Usage: bench_sphere_input DIRECTORY [M]
#include "shapes/shapes.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIRECTORY [M]\n", argv[0]);
    return 2;
  }
  const std::int32_t M = argc > 2 ? std::atoi(argv[2]) : 128;
  namespace shapes = csolver::shapes;
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir / "results");
  const csolver::NodeTable nodes = shapes::volume_node_table(M, shapes::inside(shapes::Ellipsoid{}));
  shapes::Materials materials;
  materials.E1 = 10;
  const std::string text = "Sphere of radius 0.5, E1/E0 = 10 (stiff), M = " + std::to_string(M);
  std::ofstream(dir / "input.txt") << shapes::input_text(nodes, materials, false, text);
  return 0;
}
