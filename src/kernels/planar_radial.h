#pragma once
// Radial functions of the crack's traction kernel between Gaussian openings.
//
// With z = rho^2/4 and rho the node distance in grid steps,
//   a(rho) = e^-z (rho^2 I1(z) + (2 - rho^2) I0(z)) / (4 sqrt(2 pi)),
//   b(rho) = e^-z (I0(z) - I1(z)) / (4 sqrt(2 pi)).
// c_nu G0 a/h is the normal traction at a node from the Gaussian opening of
// unit coefficient rho steps away. a's plane Fourier transform is
// |k| e^{-k^2/2} (k in 1/h), the crack operator's symbol |k| times the
// Gaussian's transform, so a sums to zero over the plane: a uniform opening
// of a whole plane carries no traction. b completes the shear block. Far out
// a ~ -1/(2 pi rho^3) and b ~ +1/(2 pi rho^3): small remainders of nearly
// cancelling Bessel terms.
#include "model/problem_setup.h"

namespace csolver {

struct PlanarRadial {
  double a, b;
};

// The tabulated forms: single-precision pi and e, polynomial Bessel
// approximations, and beyond rho = 5.9 truncated far forms (a's third far
// coefficient is -75 where the expansion has +450: 3 % off at the switch).
PlanarRadial planar_radial_specified(double rho);

// a and b to a few units in the last place at every distance: relative
// error within 5.5e-16 measured against 40-digit values from 0 to 1e4 grid
// steps, except next to the zero of a at rho = 1.7776, where the absolute
// error stays below 4.2e-17 = 2e-16 a(0).
PlanarRadial planar_radial_exact(double rho);

PlanarRadial planar_radial(PlanarKernel kernel, double rho);

}  // namespace csolver
