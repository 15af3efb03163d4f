// Where the time of a study's levels goes: the sphere of radius 0.5 at
// E1/E0 = 10 (the study tool's rule and mean estimate) solved on each grid,
// with the box padded to twice its extent and to sizes of small prime factors, in double
// and mixed precision, runs alternating. One line per level and variant:
//   level M=80 padding=smooth precision=mixed setup_s=... kernel_s=... solve_s=... total_s=... iterations=... H11=...
//   build/bench_level_stages [M ...]          (default 32 48 64 80 96)
#include "contribution/solve.h"
#include "shapes/shapes.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  std::vector<int> levels;
  for (int a = 1; a < argc; ++a) levels.push_back(std::atoi(argv[a]));
  if (levels.empty()) levels = {32, 48, 64, 80, 96};
  namespace shapes = csolver::shapes;
  for (int M : levels) {
    contribution::InhomogeneityProblem p;
    p.inhomogeneity.E = 10;
    p.nodes_per_axis = M + 1;
    p.flags = shapes::volume_flags(M, shapes::inside(shapes::Ellipsoid{{0.5, 0.5, 0.5}}));
    p.formulation_rule = contribution::RECOMMENDED_FORMULATION_RULE;
    p.mean_field_estimate = contribution::RECOMMENDED_MEAN_FIELD_ESTIMATE;
    for (bool smooth : {false, true})
      for (contribution::Precision precision : {contribution::Precision::double_precision, contribution::Precision::mixed}) {
        contribution::SolveOptions options;
        options.precision = precision;
        options.smooth_padding = smooth;
        const contribution::InhomogeneityResult r = contribution::solve_inhomogeneity(p, options);
        int iterations = 0;
        for (const contribution::LoadCaseStatus& s : r.load_cases) iterations += s.iterations;
        std::printf("level M=%d padding=%s precision=%s setup_s=%.3f kernel_s=%.3f solve_s=%.3f total_s=%.3f "
                    "iterations=%d H11=%.12g\n",
                    M, smooth ? "smooth" : "twice_box", contribution::describe(precision), r.seconds.setup,
                    r.seconds.kernel, r.seconds.solve, r.seconds.total, iterations, r.H[0][0]);
        std::fflush(stdout);
      }
  }
  return 0;
}
