#include "kernels/volume_kernel.h"

#include "kernels/box_offsets.h"
#include "kernels/special_functions.h"

#include <cmath>
#include <algorithm>

namespace csolver {

namespace {
// Limits of A and B at t = 0: 1/(6 sqrt2 pi_f^1.5) and a fifth of it.
constexpr double A_ZERO = 0.021164544427977994;
constexpr double B_ZERO = 0.004232908885595599;
constexpr double GAUSS_NORM = 15.749610603131663;  // (2 pi_f)^1.5
constexpr double SQRT_PI_F = 1.7724538755670267;
constexpr double A_DENOM = 44.54662583408779;       // 8 pi_f^1.5
constexpr double B_T_COEF = 15.039769857045862;     // 6 sqrt(2 pi_f)
constexpr double B_DENOM = 157.9136792061263;       // 16 pi_f^2
// float(1e-5): keeps u = d/(rho + eps) finite; u is slightly short of unit.
constexpr double DIRECTION_EPS = 9.999999747378752e-06;

enum class Family { aa_aa, aa_bb, aa_ab, aa_bc, ab_ab, ab_ac };

struct EntryShape {
  Family family;
  int alpha, beta, gamma;
};

int third_axis(int a, int b) { return 3 - a - b; }

// Classifies element (I, J), I <= J, by its index pairs and names the axes
// alpha, beta, gamma the way the family formulas use them.
EntryShape classify(std::array<int, 2> row, std::array<int, 2> col) {
  const bool row_normal = row[0] == row[1];
  const bool col_normal = col[0] == col[1];
  if (row_normal && col_normal) {
    // alpha alone matters; beta and gamma only need to be valid axes.
    if (row[0] == col[0]) return {Family::aa_aa, row[0], (row[0] + 1) % 3, (row[0] + 2) % 3};
    return {Family::aa_bb, row[0], col[0], third_axis(row[0], col[0])};
  }
  if (row_normal) {
    const int a = row[0];
    if (col[0] == a || col[1] == a) {
      const int b = col[0] == a ? col[1] : col[0];
      return {Family::aa_ab, a, b, third_axis(a, b)};
    }
    return {Family::aa_bc, a, col[0], col[1]};
  }
  if (row == col) return {Family::ab_ab, row[0], row[1], third_axis(row[0], row[1])};
  // Two different shear pairs share exactly one axis.
  const int a = (row[0] == col[0] || row[0] == col[1]) ? row[0] : row[1];
  const int b = row[0] == a ? row[1] : row[0];
  const int c = col[0] == a ? col[1] : col[0];
  return {Family::ab_ac, a, b, c};
}

double stiffness_value(const EntryShape& e, const RadialFunctions& f, const double (&u)[3][3], double k) {
  const double A = f.A, B = f.B, g = f.g, F = f.F;
  const double uaa = u[e.alpha][e.alpha], ubb = u[e.beta][e.beta];
  const double uab = u[e.alpha][e.beta], ubc = u[e.beta][e.gamma];
  switch (e.family) {
    case Family::aa_aa:
      return A - 3 * k * B + uaa * (g - (3 + 6 * k) * A + 30 * k * B) - k * F * uaa * uaa;
    case Family::aa_bb:
      return -k * B + (uaa + ubb) * (5 * k * B - k * A) - k * F * uaa * ubb;
    case Family::aa_ab:
      return uab * (g / 2 - (1.5 + 3 * k) * A + 15 * k * B) - k * F * uaa * uab;
    case Family::aa_bc:
      return ubc * (5 * k * B - k * A) - k * F * uaa * ubc;
    case Family::ab_ab:
      return A / 2 - k * B + (uaa + ubb) * (g / 4 - (0.75 + k) * A + 5 * k * B) - k * F * uaa * ubb;
    case Family::ab_ac:
      return ubc * (g / 4 - (0.75 + k) * A + 5 * k * B) - k * F * uaa * ubc;
  }
  return 0;
}

double compliance_value(const EntryShape& e, const RadialFunctions& f, const double (&u)[3][3], double k) {
  const double A = f.A, B = f.B, g = f.g, F = f.F;
  const double uaa = u[e.alpha][e.alpha], ubb = u[e.beta][e.beta], ucc = u[e.gamma][e.gamma];
  const double uab = u[e.alpha][e.beta], ubc = u[e.beta][e.gamma];
  switch (e.family) {
    case Family::aa_aa:
      return 8 * k * A - 12 * k * B - 4 * k * g + uaa * (8 * k * g - 48 * k * A + 120 * k * B) - 4 * k * F * uaa * uaa;
    case Family::aa_bb:
      return (8 * k - 4) * A - 4 * k * B + (2 - 4 * k) * g +
             (uaa + ubb) * ((6 - 16 * k) * A + 20 * k * B + (4 * k - 2) * g) - 4 * k * F * uaa * ubb;
    case Family::aa_ab:
      return uab * (4 * k * g - 24 * k * A + 60 * k * B) - 4 * k * F * uaa * uab;
    case Family::aa_bc:
      return ubc * ((6 - 16 * k) * A + 20 * k * B + (4 * k - 2) * g) - 4 * k * F * uaa * ubc;
    case Family::ab_ab:
      return (2 + 6 * k) * A - 19 * k * B - (1 + k) * g + (uaa + ubb) * ((1 + k) * g - (3 + 10 * k) * A + 35 * k * B) +
             ucc * (k * g - 6 * k * A + 15 * k * B) - 4 * k * F * uaa * ubb;
    case Family::ab_ac:
      return ubc * (g - (3 + 4 * k) * A + 20 * k * B) - 4 * k * F * uaa * ubc;
  }
  return 0;
}

struct PackedShapes {
  std::array<EntryShape, VOLUME_ENTRIES> stiffness, compliance;
};

PackedShapes make_shapes() {
  PackedShapes shapes{};
  int s = 0;
  for (int I = 0; I < 6; ++I)
    for (int J = I; J < 6; ++J, ++s) {
      shapes.stiffness[static_cast<std::size_t>(s)] =
          classify(index_pair(I, Formulation::stiffness), index_pair(J, Formulation::stiffness));
      shapes.compliance[static_cast<std::size_t>(s)] =
          classify(index_pair(I, Formulation::compliance), index_pair(J, Formulation::compliance));
    }
  return shapes;
}

const PackedShapes& packed_shapes() {
  static const PackedShapes shapes = make_shapes();
  return shapes;
}
}  // namespace

int packed_entry(int a, int b) {
  const int I = a < b ? a : b;
  const int J = a < b ? b : a;
  // Rows before I hold 6, 5, ... entries: I*6 - I(I-1)/2 of them.
  return I * 6 - I * (I - 1) / 2 + (J - I);
}

std::array<int, 2> index_pair(int row, Formulation formulation) {
  static constexpr std::array<std::array<int, 2>, 6> stiffness{{{0, 0}, {1, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}}};
  static constexpr std::array<std::array<int, 2>, 6> compliance{{{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}}};
  return formulation == Formulation::stiffness ? stiffness[static_cast<std::size_t>(row)]
                                               : compliance[static_cast<std::size_t>(row)];
}

RadialFunctions volume_radial_functions(double t, double h) {
  const double E = exp_f(-t * t / 2);
  const double R = std::erf(t / SQRT2);
  RadialFunctions f{};
  f.g = E / GAUSS_NORM;
  if (t > h / 2) {
    f.A = 2 * (SQRT_PI_F * R - 2 * t * E / SQRT2) / (A_DENOM * (t * t * t));
    f.B = (B_T_COEF * t * E + (2 * t * t - 6) * PI_F * R) / (B_DENOM * (t * t * t * t * t));
  } else {
    f.A = A_ZERO;
    f.B = B_ZERO;
  }
  f.F = f.g - 10 * f.A + 35 * f.B;
  return f;
}

std::array<double, VOLUME_ENTRIES> volume_kernel_entries(const RadialFunctions& f, const std::array<double, 3>& u,
                                                         double kappa, double G0, Formulation formulation) {
  double uu[3][3];
  for (int a = 0; a < 3; ++a)
    for (int b = 0; b < 3; ++b) uu[a][b] = u[static_cast<std::size_t>(a)] * u[static_cast<std::size_t>(b)];
  std::array<double, VOLUME_ENTRIES> entries{};
  const PackedShapes& shapes = packed_shapes();
  for (std::size_t s = 0; s < entries.size(); ++s) {
    entries[s] = formulation == Formulation::stiffness ? stiffness_value(shapes.stiffness[s], f, uu, kappa) / G0
                                                       : compliance_value(shapes.compliance[s], f, uu, kappa) * G0;
  }
  return entries;
}

bool separable_coordinates(const Box& box) {
  const BoxBounds& b = box.bounds;
  const std::size_t nx = static_cast<std::size_t>(b.nx), ny = static_cast<std::size_t>(b.ny);
  std::size_t n = 0;
  for (std::size_t k = 0; k < static_cast<std::size_t>(b.nz); ++k)
    for (std::size_t j = 0; j < ny; ++j)
      for (std::size_t i = 0; i < nx; ++i, ++n)
        if (box.box_x[n] != box.box_x[i] || box.box_y[n] != box.box_y[nx * j] || box.box_z[n] != box.box_z[nx * ny * k])
          return false;
  return true;
}

std::vector<AxisParities> volume_kernel_parities(Formulation formulation) {
  std::vector<AxisParities> parities;
  for (int I = 0; I < 6; ++I)
    for (int J = I; J < 6; ++J) {
      int count[3] = {0, 0, 0};
      for (int axis : index_pair(I, formulation)) ++count[axis];
      for (int axis : index_pair(J, formulation)) ++count[axis];
      AxisParities parity{};
      for (int axis = 0; axis < 3; ++axis) parity[static_cast<std::size_t>(axis)] = count[axis] % 2 ? Parity::odd : Parity::even;
      parities.push_back(parity);
    }
  parities.push_back({Parity::even, Parity::even, Parity::even});  // the Gaussian
  return parities;
}

std::vector<AxisParities> volume_kernel_symmetry(Formulation formulation, const Box& box) {
  if (!separable_coordinates(box)) return {};
  return volume_kernel_parities(formulation);
}

void build_volume_kernel(const ProblemSetup& setup, const Box& box, PaddedConvolution& conv) {
  const double h = setup.h;
  const double eps = h * DIRECTION_EPS;
  // The stored matrix is the negative of the usual operator in both variants.
  const double sign = setup.formulation == Formulation::stiffness ? -1.0 : 1.0;
  for_each_box_offset(box, conv, [&](const BoxOffset& o) {
    double t = 0;
    std::array<double, 3> u{0, 0, 0};
    if (!o.zero) {
      t = o.rho / h;
      for (std::size_t axis = 0; axis < 3; ++axis) u[axis] = o.d[axis] / (o.rho + eps);
    }
    const RadialFunctions f = volume_radial_functions(t, h);
    const std::array<double, VOLUME_ENTRIES> entries =
        volume_kernel_entries(f, u, setup.c_nu, setup.G0, setup.formulation);
    for (int s = 0; s < VOLUME_ENTRIES; ++s) {
      conv.set_kernel_sample(s, o.here, sign * entries[static_cast<std::size_t>(s)]);
      if (o.mirrored) conv.set_kernel_sample(s, o.mirror, sign * entries[static_cast<std::size_t>(s)]);
    }
    conv.set_kernel_sample(VOLUME_GAUSS, o.here, f.g);
    if (o.mirrored) conv.set_kernel_sample(VOLUME_GAUSS, o.mirror, f.g);
  });
  conv.transform_kernels();
}

}  // namespace csolver
