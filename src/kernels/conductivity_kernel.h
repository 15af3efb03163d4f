#pragma once
// Kernels of steady conduction (heat, electric current, any diffusivity)
// between Gaussian approximating functions: the volume kernel of an
// inhomogeneity (3x3, symmetric) and the normal-flux kernel of an insulating
// planar crack.
//
// With psi(t) = erf(t/sqrt2)/(4 pi t) the potential of the unit Gaussian g
// (Laplacian psi = -g), distances t in grid steps, the field at a node from a
// Gaussian source of the polarization tau = (k1 - k0) e of unit coefficient is
// (1/k0) D with the smoothed second derivatives
//   D_ij = d_i d_j psi = -A delta_ij + (3A - g) u_i u_j,   A = -psi'(t)/t
// (the elastic kernel's A). No power of h enters: the Gaussian's potential
// scales as h^2, its second derivatives as h^0.
//
// Field formulation (unknown the polarization x = (k1 - k0) e):
//   x - c D*x = (k1 - k0) e0,   c = (k1 - k0)/k0,
// bounded for an insulator (c = -1). Flux formulation (unknown the dual
// polarization y = (1/k1 - 1/k0) q), dual to it as the elastic compliance
// formulation is to the stiffness one:
//   y - c (D + g I)*y = (1/k1 - 1/k0) q0,   c = -(1/k1 - 1/k0) k0,
// bounded for a perfect conductor (c = 1). The stored kernel is D, plus the
// Gaussian on the diagonal under the flux formulation; c stays at the nodes.
#include "kernels/planar_kernel.h"
#include "kernels/volume_kernel.h"
#include "model/problem_setup.h"
#include "numlib/convolution.h"

#include <array>
#include <vector>

namespace csolver {

using contribution::ConductivityFormulation;

// Kernel slots: the entries 11, 22, 33, 23, 13, 12 of D, then the Gaussian.
inline constexpr int CONDUCTIVITY_ENTRIES = 6;
inline constexpr int CONDUCTIVITY_GAUSS = 6;

// Slot (0-5) of element (a, b), axes 0-based.
int conductivity_entry(int a, int b);

// The six stored values for the distance t (grid steps) and unit direction u
// (zero at t = 0).
std::array<double, CONDUCTIVITY_ENTRIES> conductivity_kernel_entries(const RadialFunctions& f,
                                                                     const std::array<double, 3>& u,
                                                                     ConductivityFormulation formulation);

// Parities of the seven slots: entry ij (i != j) odd along i and j.
std::vector<AxisParities> conductivity_kernel_parities();

// Fills and transforms the seven kernels of `conv` for every offset of the box.
void build_conductivity_kernel(const Box& box, double h, ConductivityFormulation formulation,
                               PaddedConvolution& conv);

// Insulating crack: slot 0 the normal flux at a node from the Gaussian jump
// of the potential of unit coefficient, (k0/2) a/h (the elastic crack's
// normal-traction kernel with mu/(1 - nu) replaced by k0); slot 1 the Gaussian.
inline constexpr int CRACK_FLUX = 0, CRACK_FLUX_GAUSS = 1;
inline constexpr int CRACK_FLUX_KERNELS = 2;

struct CrackFluxValues {
  double flux, gauss;
};
CrackFluxValues crack_flux_values(double dx, double dy, double h, double k0);

// Both slots even: the parities where the plane's coordinates are separable.
std::vector<AxisParities> crack_flux_symmetry(const CrackGrid& grid);

void build_crack_flux_kernel(const CrackGrid& grid, double h, double k0, PaddedConvolution& conv);

}  // namespace csolver
