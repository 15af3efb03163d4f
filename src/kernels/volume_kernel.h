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
#include <vector>

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

// Whether every box node's x coordinate depends on its index i alone, y on j
// alone and z on k alone, bit for bit (the regular grid is; a perturbed one
// in general is not). Then the offset vector of (-p, q, r) is exactly the
// mirror of that of (p, q, r), and likewise along y and z, so that each
// packed entry is exactly even or odd along every axis.
bool separable_coordinates(const Box& box);

// Parities of the 22 kernel slots along x, y, z: an entry is odd along the
// axes that occur an odd number of times among its four tensor indices; the
// Gaussian is even.
std::vector<AxisParities> volume_kernel_parities(Formulation formulation);

// The mirror symmetry to give the box's convolution: the parities where the
// coordinates are separable (octant layout), none otherwise (half spectrum).
std::vector<AxisParities> volume_kernel_symmetry(Formulation formulation, const Box& box);

// Fills kernels 0-20 (the stored entries, -K under stiffness) and kernel 21
// (the Gaussian) of `conv` for every offset of the box (only the octant of
// non-negative offsets when `conv` keeps that layout), then transforms them.
void build_volume_kernel(const ProblemSetup& setup, const Box& box, PaddedConvolution& conv);

}  // namespace csolver
