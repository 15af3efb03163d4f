#pragma once
// The 6x6 volume kernel between two Gaussian approximating functions of the
// inhomogeneity problem, for every node offset of the box.
//
// Packing: the 21 entries of the upper triangle, row by row. Rows and columns
// stand for the tensor index pairs (11, 22, 33, 23, 13, 12) under the
// stiffness formulation and (11, 22, 33, 12, 13, 23) under the compliance
// formulation (tensor shear components, not doubled).
#include "model/problem_setup.h"
#include "numlib/convolution.h"

#include <array>

namespace csolver {

inline constexpr int VOLUME_ENTRIES = 21;
inline constexpr int VOLUME_GAUSS = 21;  // kernel slot of the Gaussian

// Packed entry number (0-based) of element (a, b), 0-based, of the 6x6 kernel.
int packed_entry(int a, int b);

// Index pair (axes 0-2) that row/column `row` stands for.
std::array<int, 2> index_pair(int row, Formulation formulation);

// Radial functions of the distance t in grid steps: the Gaussian g and the
// derivatives A, B of its harmonic and biharmonic potentials, F = g - 10A + 35B.
struct RadialFunctions {
  double g, A, B, F;
};
RadialFunctions volume_radial_functions(double t, double h);

// The 21 table values for direction u (as computed, not renormalised),
// before the sign rule of storage: stiffness values are divided by G0,
// compliance values multiplied by it.
std::array<double, VOLUME_ENTRIES> volume_kernel_entries(const RadialFunctions& f, const std::array<double, 3>& u,
                                                         double kappa, double G0, Formulation formulation);

// Fills kernels 0-20 (the stored entries, -K under stiffness) and kernel 21
// (the Gaussian) of `conv` for every offset of the box, then transforms them.
void build_volume_kernel(const ProblemSetup& setup, const Box& box, PaddedConvolution& conv);

}  // namespace csolver
