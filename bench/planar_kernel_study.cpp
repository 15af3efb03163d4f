// Convergence of the crack tensors with the grid for both planar kernels:
// the penny-shaped crack of radius 0.5 and the elliptical crack with
// semi-axes 0.5 (x) and 0.25 (y), E0 = 1, n0 = 0.3, tol 1e-6, against the
// analytic opening volumes (scripts/analytic.awk). Prints one line per run.
//   build/bench_planar_kernel [M ...]        default 32 64 128 256
#include "contribution_solver/run.h"
#include "shapes/shapes.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <vector>

using namespace csolver;

namespace {

struct Analytic {
  double H33, H44, H55;  // normal; shear along y (b); shear along x (a)
};

// Elliptical crack, a >= b, k^2 = 1 - b^2/a^2, complete elliptic integrals
// K(k), E(k) by the arithmetic-geometric mean (formulas of analytic.awk).
Analytic elliptical_crack(double a, double b, double E0, double n0) {
  const double pi = std::numbers::pi;
  const double k2 = 1 - b * b / (a * a), kp2 = 1 - k2;
  const double base = 8 * pi * (1 - n0 * n0) * a * b * b / (3 * E0);
  if (k2 < 1e-12) {
    const double shear = 32 * (1 - n0 * n0) * a * a * a / (3 * (2 - n0) * E0);
    return {16 * (1 - n0 * n0) * a * a * a / (3 * E0), shear, shear};
  }
  double an = 1, bn = std::sqrt(kp2), sum = k2 / 2, power = 1;
  while (an - bn > 1e-15 * an) {
    const double t = (an + bn) / 2, cn = (an - bn) / 2;
    bn = std::sqrt(an * bn);
    an = t;
    sum += power * cn * cn;
    power *= 2;
  }
  const double K = pi / (2 * an), E = K * (1 - sum);
  return {base / E, base * k2 / ((k2 + n0 * kp2) * E - n0 * kp2 * K), base * k2 / ((k2 - n0) * E + n0 * kp2 * K)};
}

ProblemSetup crack_setup(int M) {
  ProblemSetup setup;
  setup.E0 = 1;
  setup.n0 = 0.3;
  setup.E1 = 1;
  setup.n1 = 0.3;
  setup.problem_type = 0;
  setup.M = M;
  setup.N = M + 1;
  setup.h = grid_step(M);
  setup.tol = 1e-6;
  derive_constants(setup);
  return setup;
}

}  // namespace

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
    const Analytic exact = elliptical_crack(shape.ellipse.a, shape.ellipse.b, 1, 0.3);
    for (PlanarKernel kernel : {PlanarKernel::specified, PlanarKernel::exact})
      for (int M : grids) {
        const auto start = std::chrono::steady_clock::now();
        const CrackRun run = solve_crack(crack_setup(M), shapes::crack_node_table(M, shapes::inside(shape.ellipse)),
                                         Progress{}, PlannerEffort::estimate, "input.txt", kernel);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const Matrix6& H = run.tensors.H_tensor;
        std::printf("%-17s %-9s %4d %9.5f %9.5f %9.5f %5d %8.2f\n", shape.name,
                    kernel == PlanarKernel::exact ? "exact" : "specified", M, H(2, 2) / exact.H33,
                    H(3, 3) / exact.H44, H(4, 4) / exact.H55, run.conv_flag, seconds);
        std::fflush(stdout);
      }
  }
}
