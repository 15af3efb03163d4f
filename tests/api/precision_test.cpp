// Mixed precision against double precision: the same tensors within 2e-6
// relative, for inhomogeneities of both formulations, cracks, and the half
// spectrum off the regular grid; and the results name the precision used.
#include "contribution/solve.h"

#include "shapes/shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace contribution {
namespace {

namespace shapes = csolver::shapes;

SolveOptions in(Precision precision) {
  SolveOptions options;
  options.measure_plans = false;
  options.precision = precision;
  return options;
}

double relative_difference(const Tensor6& a, const Tensor6& b) {
  double diff = 0, scale = 0;
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) {
      diff = std::max(diff, std::abs(a[r][c] - b[r][c]));
      scale = std::max(scale, std::abs(b[r][c]));
    }
  return diff / scale;
}

TEST(MixedPrecision, DefaultsToMixedAndNamesIt) {
  EXPECT_EQ(SolveOptions{}.precision, Precision::mixed);
  EXPECT_STREQ(describe(Precision::mixed), "mixed");
  EXPECT_STREQ(describe(Precision::double_precision), "double");
  Precision p = Precision::mixed;
  EXPECT_TRUE(parse_precision("double", p));
  EXPECT_EQ(p, Precision::double_precision);
  EXPECT_FALSE(parse_precision("single", p));
  EXPECT_FALSE(parse_precision(nullptr, p));
  EXPECT_EQ(p, Precision::double_precision);
}

TEST(MixedPrecision, InhomogeneityTensorsMatchTheDoubleSolve) {
  // Stiffer (compliance formulation) and softer (stiffness formulation),
  // on the regular grid (octant) and with coordinates off it (half spectrum).
  for (double E1 : {10.0, 0.1}) {
    for (bool off_grid : {false, true}) {
      SCOPED_TRACE("E1 = " + std::to_string(E1) + (off_grid ? ", off the grid" : ""));
      const int M = off_grid ? 10 : 20;
      InhomogeneityProblem p;
      p.inhomogeneity.E = E1;
      p.nodes_per_axis = M + 1;
      p.flags = shapes::volume_flags(M, shapes::inside(shapes::Ellipsoid{{0.7, 0.5, 0.4}}));
      if (off_grid) {
        const std::size_t N = static_cast<std::size_t>(M + 1);
        const double h = grid_step(M);
        for (std::size_t n = 0; n < N * N * N; ++n) {
          p.x.push_back(-1 + static_cast<double>(n % N) * h);
          p.y.push_back(-1 + static_cast<double>(n / N % N) * h);
          p.z.push_back(-1 + static_cast<double>(n / N / N) * h);
        }
        p.x[N / 2 + N * (N / 2 + N * (N / 2))] += 1e-9 * h;
      }
      const InhomogeneityResult reference = solve_inhomogeneity(p, in(Precision::double_precision));
      const InhomogeneityResult mixed = solve_inhomogeneity(p, in(Precision::mixed));
      EXPECT_EQ(reference.precision, Precision::double_precision);
      EXPECT_EQ(mixed.precision, Precision::mixed);
      EXPECT_EQ(mixed.spectra, off_grid ? KernelSpectra::half_spectrum : KernelSpectra::octant);
      EXPECT_EQ(mixed.conv_flag, 1);
      for (const LoadCaseStatus& s : mixed.load_cases) EXPECT_LE(s.error, p.tol);
      EXPECT_LT(relative_difference(mixed.H, reference.H), 2e-6);
      EXPECT_LT(relative_difference(mixed.N, reference.N), 2e-6);
    }
  }
}

TEST(MixedPrecision, CrackTensorsMatchTheDoubleSolve) {
  for (PlanarKernel kernel : {PlanarKernel::exact, PlanarKernel::specified}) {
    CrackProblem p;
    p.nodes_per_axis = 33;
    p.flags = shapes::crack_flags(32, shapes::inside(shapes::PlanarEllipse{0.7, 0.45}));
    p.kernel = kernel;
    const CrackResult reference = solve_crack(p, in(Precision::double_precision));
    const CrackResult mixed = solve_crack(p, in(Precision::mixed));
    EXPECT_EQ(mixed.precision, Precision::mixed);
    EXPECT_EQ(mixed.conv_flag, 1);
    EXPECT_LT(relative_difference(mixed.H, reference.H), 2e-6);
    EXPECT_LT(relative_difference(mixed.N, reference.N), 2e-6);
  }
}

}  // namespace
}  // namespace contribution
