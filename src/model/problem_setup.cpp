#include "model/problem_setup.h"

#include "contribution/errors.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace csolver {

namespace {
// float(1.0001): the margin that absorbs rounding of coordinates and of h in
// the bounding-box index arithmetic.
constexpr double EPS1 = 1.000100016593933;

Matrix6 isotropic_stiffness(double lambda, double G) {
  Matrix6 C = Matrix6::Zero();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) C(r, c) = r == c ? lambda + 2 * G : lambda;
  for (int r = 3; r < 6; ++r) C(r, r) = G;
  return C;
}

struct Extremes {
  double xmin = 1.0, ymin = 1.0, zmin = 1.0;
  double xmax = -1.0, ymax = -1.0, zmax = -1.0;
  void add(double x, double y, double z) {
    xmin = std::min(xmin, x), xmax = std::max(xmax, x);
    ymin = std::min(ymin, y), ymax = std::max(ymax, y);
    zmin = std::min(zmin, z), zmax = std::max(zmax, z);
  }
};

void axis_bounds(double lo, double hi, double h, std::int32_t N, std::int32_t& offset, std::int32_t& extent) {
  offset = static_cast<std::int32_t>((lo + EPS1) / h);
  extent = N - static_cast<std::int32_t>((EPS1 - hi) / h) - offset;
}

// A void has no finite compliance, a rigid inclusion no finite stiffness:
// the infinite side is marked infinite, the finite side is exact.
void take_limit(ProblemSetup& s) {
  const double inf = std::numeric_limits<double>::infinity();
  const Matrix6 infinite = Matrix6::Constant(inf);
  if (s.E1 == 0) {
    s.G1 = 0, s.lambda1 = 0;
    s.C1 = Matrix6::Zero();
    s.dC = -s.C0;
    s.S1 = s.dS = infinite;
    s.dS_vol = s.dS_shear = inf;
    s.dC_vol = -s.lambda0;
    s.dC_shear = -2 * s.G0;
  } else {
    s.G1 = s.lambda1 = inf;
    s.S1 = Matrix6::Zero();
    s.dS = -s.S0;
    s.C1 = s.dC = infinite;
    s.dC_vol = s.dC_shear = inf;
    s.dS_vol = s.lambda0 / (2 * s.G0 * (2 * s.G0 + 3 * s.lambda0));
    s.dS_shear = -1 / (2 * s.G0);
  }
}
}  // namespace

void derive_constants(ProblemSetup& s) {
  s.c_nu = 1.0 / (2.0 * (1.0 - s.n0));
  s.G0 = s.E0 / (2.0 * (1.0 + s.n0));
  if (!s.is_crack() && (s.E1 == 0 || std::isinf(s.E1))) {
    s.lambda0 = s.n0 * s.E0 / ((1.0 + s.n0) * (1.0 - s.n0 - s.n0));
    s.C0 = isotropic_stiffness(s.lambda0, s.G0);
    s.S0 = inverse6(s.C0);
    take_limit(s);
    return;
  }
  s.G1 = s.E1 / (2.0 * (1.0 + s.n1));
  s.lambda0 = s.n0 * s.E0 / ((1.0 + s.n0) * (1.0 - s.n0 - s.n0));
  s.lambda1 = s.n1 * s.E1 / ((1.0 + s.n1) * (1.0 - s.n1 - s.n1));
  s.C0 = isotropic_stiffness(s.lambda0, s.G0);
  s.C1 = isotropic_stiffness(s.lambda1, s.G1);
  s.dC = s.C1 - s.C0;
  s.S0 = inverse6(s.C0);
  s.S1 = inverse6(s.C1);
  s.dS = s.S1 - s.S0;
  s.dS_vol = s.lambda0 / (2 * s.G0 * (2 * s.G0 + 3 * s.lambda0)) - s.lambda1 / (2 * s.G1 * (2 * s.G1 + 3 * s.lambda1));
  s.dS_shear = 1 / (2 * s.G1) - 1 / (2 * s.G0);
  s.dC_vol = s.lambda1 - s.lambda0;
  s.dC_shear = 2 * (s.G1 - s.G0);
}

double grid_step(std::int32_t M) {
  return static_cast<double>(2.0f / static_cast<float>(M));
}

NodeTable::NodeTable(std::int32_t nodes_per_axis, std::int32_t plane_count, double grid_step, bool with_coordinates)
    : N(nodes_per_axis), planes(plane_count), h(grid_step) {
  const std::size_t count = static_cast<std::size_t>(N) * static_cast<std::size_t>(N) * static_cast<std::size_t>(planes);
  node_flag.assign(count, 0);
  if (!with_coordinates) return;
  node_x.assign(count, 0.0);
  node_y.assign(count, 0.0);
  node_z.assign(count, 0.0);
}

BoxBounds inhomogeneity_bounds(const NodeTable& nodes, double h) {
  Extremes e;
  std::size_t n = 0;
  for (std::int32_t k = 0; k < nodes.planes; ++k)
    for (std::int32_t j = 0; j < nodes.N; ++j)
      for (std::int32_t i = 0; i < nodes.N; ++i, ++n)
        if (nodes.node_flag[n] == 1) e.add(nodes.x(n, i), nodes.y(n, j), nodes.z(n, k));
  BoxBounds b;
  axis_bounds(e.xmin, e.xmax, h, nodes.N, b.ix0, b.nx);
  axis_bounds(e.ymin, e.ymax, h, nodes.N, b.iy0, b.ny);
  axis_bounds(e.zmin, e.zmax, h, nodes.N, b.iz0, b.nz);
  return b;
}

BoxBounds crack_bounds(const NodeTable& nodes, double h) {
  Extremes e;
  for (std::int32_t j = 0; j < nodes.N; ++j)
    for (std::int32_t i = 0; i < nodes.N; ++i) {
      const std::size_t n = nodes.index(i, j, 0);
      if (nodes.node_flag[n] == 1) e.add(nodes.x(n, i), nodes.y(n, j), 0.0);
    }
  BoxBounds b;
  axis_bounds(e.xmin, e.xmax, h, nodes.N, b.ix0, b.nx);
  axis_bounds(e.ymin, e.ymax, h, nodes.N, b.iy0, b.ny);
  b.nz = 1;
  return b;
}

Formulation choose_formulation(double E1, double E0) {
  // A quotient that is not a number fails the comparison: compliance.
  return E1 / E0 > 1 ? Formulation::stiffness : Formulation::compliance;
}

Formulation choose_formulation(contribution::FormulationRule rule, double E1, double E0) {
  using contribution::FormulationRule;
  const bool limit = E1 == 0 || std::isinf(E1);
  const Formulation specified = choose_formulation(E1, E0);
  const Formulation bounded = specified == Formulation::stiffness ? Formulation::compliance : Formulation::stiffness;
  switch (rule) {
    case FormulationRule::specified: return limit ? bounded : specified;
    case FormulationRule::bounded: return bounded;
    case FormulationRule::stiffness:
      if (std::isinf(E1))
        throw contribution::InvalidProblem(
            "a rigid inclusion (E1 = inf) has an infinite stiffness contrast: use the bounded or compliance formulation");
      return Formulation::stiffness;
    case FormulationRule::compliance:
      if (E1 == 0)
        throw contribution::InvalidProblem(
            "a void (E1 = 0) has an infinite compliance contrast: use the bounded or stiffness formulation");
      return Formulation::compliance;
  }
  return specified;
}

Box box_geometry(const NodeTable& nodes, const BoxBounds& bounds) {
  Box box;
  box.bounds = bounds;
  const std::size_t count = bounds.size();
  box.box_x.resize(count);
  box.box_y.resize(count);
  box.box_z.resize(count);
  box.box_flag.resize(count);
  std::size_t n = 0;
  for (std::int32_t k = 0; k < bounds.nz; ++k)
    for (std::int32_t j = 0; j < bounds.ny; ++j)
      for (std::int32_t i = 0; i < bounds.nx; ++i, ++n) {
        const std::size_t src = nodes.index(bounds.ix0 + i, bounds.iy0 + j, bounds.iz0 + k);
        box.box_x[n] = nodes.x(src, bounds.ix0 + i);
        box.box_y[n] = nodes.y(src, bounds.iy0 + j);
        box.box_z[n] = nodes.z(src, bounds.iz0 + k);
        box.box_flag[n] = nodes.node_flag[src];
      }
  return box;
}

Box build_box(const ProblemSetup& setup, const NodeTable& nodes, const BoxBounds& bounds) {
  Box box = box_geometry(nodes, bounds);
  const std::size_t count = bounds.size();
  box.box_coef_vol.assign(count, 0.0);
  box.box_coef_shear.assign(count, 0.0);
  const bool stiff = setup.formulation == Formulation::stiffness;
  const double coef_vol = stiff ? setup.dC_vol : setup.dS_vol;
  const double coef_shear = stiff ? setup.dC_shear : setup.dS_shear;
  for (std::size_t n = 0; n < count; ++n)
    if (box.box_flag[n] == 1) {
      box.box_coef_vol[n] = coef_vol;
      box.box_coef_shear[n] = coef_shear;
    }
  return box;
}

}  // namespace csolver
