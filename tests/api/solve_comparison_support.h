#pragma once
// Problems and a measure shared by the tests that solve one problem two ways
// (precision, padding) and compare the tensors.
#include "contribution/solve.h"

#include "shapes/shapes.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace contribution::testing {

// Largest entry difference over the largest entry of b.
inline double relative_difference(const Tensor6& a, const Tensor6& b) {
  double diff = 0, scale = 0;
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) {
      diff = std::max(diff, std::abs(a[r][c] - b[r][c]));
      scale = std::max(scale, std::abs(b[r][c]));
    }
  return diff / scale;
}

// An ellipsoid (semi-axes 0.7, 0.5, 0.4) of modulus E1 on the grid M. Off the
// grid, explicit coordinates with one node moved by 1e-9 h: the solver then
// takes the general half spectrum instead of the regular grid's octant.
inline InhomogeneityProblem ellipsoid_problem(int M, double E1, bool off_grid) {
  namespace shapes = csolver::shapes;
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
  return p;
}

// An elliptical crack (semi-axes 0.7, 0.45) on the plane grid M = 32.
inline CrackProblem elliptical_crack_problem(PlanarKernel kernel) {
  namespace shapes = csolver::shapes;
  CrackProblem p;
  p.nodes_per_axis = 33;
  p.flags = shapes::crack_flags(32, shapes::inside(shapes::PlanarEllipse{0.7, 0.45}));
  p.kernel = kernel;
  return p;
}

}  // namespace contribution::testing
