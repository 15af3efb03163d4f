// Convergence of the crack tensors with the grid for both planar kernels:
// the penny-shaped crack of radius 0.5 and the elliptical crack with
// semi-axes 0.5 (x) and 0.25 (y), E0 = 1, n0 = 0.3, tol 1e-6, against the
// analytic opening volumes (scripts/analytic.awk). Prints one line per run.
//   build/bench_planar_kernel [M ...]        default 32 64 128 256
#include "contribution/solve.h"
#include "shapes/shapes.h"
#include "support/analytic.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

using namespace csolver;
using contribution::PlanarKernel;

int main(int argc, char** argv) {
  std::vector<int> grids;
  for (int i = 1; i < argc; ++i) grids.push_back(std::atoi(argv[i]));
  if (grids.empty()) grids = {32, 64, 128, 256};
  struct Shape {
    const char* name;
    shapes::PlanarEllipse ellipse;
  };
  const Shape shapes_[] = {{"penny a=0.5", {0.5, 0.5}}, {"ellipse 0.5x0.25", {0.5, 0.25}}};
  std::printf("%-17s %-9s %4s %9s %9s %9s %5s %8s\n", "case", "kernel", "M", "H33/an", "H44/an", "H55/an", "conv",
              "time_s");
  for (const Shape& shape : shapes_) {
    const testing::CrackTensor exact = testing::elliptical_crack(shape.ellipse.a, shape.ellipse.b, 1, 0.3);
    for (PlanarKernel kernel : {PlanarKernel::specified, PlanarKernel::exact})
      for (int M : grids) {
        const auto start = std::chrono::steady_clock::now();
        contribution::CrackProblem problem;
        problem.nodes_per_axis = M + 1;
        problem.flags = shapes::crack_flags(M, shapes::inside(shape.ellipse));
        problem.kernel = kernel;
        contribution::SolveOptions options;
        options.measure_plans = false;
        const contribution::CrackResult run = contribution::solve_crack(std::move(problem), options);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const contribution::Tensor6& H = run.H;
        std::printf("%-17s %-9s %4d %9.5f %9.5f %9.5f %5d %8.2f\n", shape.name,
                    kernel == PlanarKernel::exact ? "exact" : "specified", M, H[2][2] / exact.H33,
                    H[3][3] / exact.H44, H[4][4] / exact.H55, run.conv_flag, seconds);
        std::fflush(stdout);
      }
  }
}
