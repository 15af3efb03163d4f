// Measures the conduction solve's choices on analytic shapes (not in ctest):
// both formulations and both mean estimates against the closed form, with
// iterations, for a list of grids.
//   build/bench_conductivity SHAPE k1/k0 M1 M2 ...
//   SHAPE: sphere (radius 0.5), oblate (0.5 0.5 0.25), prolate (0.25 0.25 0.5),
//   penny (radius 0.5, insulating crack; k1 ignored); k1 may be inf.
#include "api/conductivity_pipeline.h"
#include "shapes/shapes.h"
#include "support/conduction_analytic.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace csolver;

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s sphere|oblate|prolate|penny k1 M...\n", argv[0]);
    return 2;
  }
  const std::string shape = argv[1];
  const double k0 = 1, k1 = std::strtod(argv[2], nullptr);
  for (int i = 3; i < argc; ++i) {
    const int M = std::atoi(argv[i]);
    if (shape == "penny") {
      const double expected = testing::crack_r33(0.5, 0.5, k0);
      for (MeanEstimate mean : {MeanEstimate::nodal, MeanEstimate::smoothed}) {
        ConductivityRunOptions o;
        o.mean = mean;
        o.run.threads = 2;
        const ConductivityRun run = run_crack_conductivity(
            k0, 1e-6, shapes::crack_node_table(M, shapes::inside(shapes::PlanarEllipse{0.5, 0.5})), Progress{}, o);
        std::printf("penny M=%d %s R33=%.6f err=%+.4f%% it=%d t=%.2fs\n", M,
                    mean == MeanEstimate::nodal ? "nodal   " : "smoothed", run.tensors.R(2, 2),
                    100 * (run.tensors.R(2, 2) / expected - 1), run.solution.load_cases[0].iterations,
                    run.seconds.total);
      }
      continue;
    }
    shapes::Ellipsoid e;
    if (shape == "oblate") e.semi_axes = {0.5, 0.5, 0.25};
    if (shape == "prolate") e.semi_axes = {0.25, 0.25, 0.5};
    const auto A = testing::depolarization(e.semi_axes[0], e.semi_axes[1], e.semi_axes[2]);
    for (ConductivityFormulation f : {ConductivityFormulation::field, ConductivityFormulation::flux}) {
      if (f == ConductivityFormulation::field && std::isinf(k1)) continue;
      if (f == ConductivityFormulation::flux && k1 == 0) continue;
      for (MeanEstimate mean : {MeanEstimate::nodal, MeanEstimate::smoothed}) {
        ConductivityRunOptions o;
        o.formulation = f;
        o.mean = mean;
        o.run.threads = 2;
        const ConductivityRun run =
            run_conductivity(k0, k1, 1e-6, shapes::volume_node_table(M, shapes::inside(e)), Progress{}, o);
        int iterations = 0;
        for (const auto& s : run.solution.load_cases) iterations += s.iterations;
        std::printf("%s k1=%g M=%d %s %s K11 %+.4f%% K33 %+.4f%% it=%d t=%.2fs\n", shape.c_str(), k1, M,
                    f == ConductivityFormulation::field ? "field" : "flux ",
                    mean == MeanEstimate::nodal ? "nodal   " : "smoothed",
                    100 * (run.tensors.K(0, 0) / testing::principal_k(A[0], k0, k1) - 1),
                    100 * (run.tensors.K(2, 2) / testing::principal_k(A[2], k0, k1) - 1), iterations,
                    run.seconds.total);
      }
    }
  }
  return 0;
}
