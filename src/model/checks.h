#pragma once
// What makes a material or a tolerance unusable, in the words every front
// end shows: each function returns an empty string for an acceptable value,
// otherwise "found <name> = <value>, expected ...".
#include <string>

namespace csolver {

// Young's modulus: a normal finite double > 0 (a subnormal one has lost its
// digits, and its compliance overflows). With `allow_zero_and_infinity`
// also exactly 0 (a void) or +infinity (a rigid inclusion), for the solvers
// that treat those limits exactly. A pore is otherwise modelled by a small
// positive modulus, which the message for the inhomogeneity's modulus suggests.
std::string young_modulus_problem(const char* name, double E, bool inhomogeneity = false,
                                  bool allow_zero_and_infinity = false);

// Beyond this ratio of E1 to E0 (or E0 to E1) the solve loses the
// difference of the two materials to rounding (at 1e200 BiCGSTAB meets
// non-finite values and returns zero tensors, not converged); the
// contribution has long reached its void or rigid limit. The front ends that
// build problems from options refuse such a contrast; the library and the
// console program solve what they are given and report the breakdown.
inline constexpr double LARGEST_CONTRAST = 1e100;
// E1/E0 within [1 / LARGEST_CONTRAST, LARGEST_CONTRAST]; only normal positive
// moduli are judged (E1 = 0 or infinity are exact limits).
std::string contrast_problem(double E0, double E1);

// Poisson's ratio strictly inside (-1, 0.5): at 0.5 the Lame constant is infinite.
std::string poisson_ratio_problem(const char* name, double nu);

// The matrix conductivity k0: a normal finite double > 0.
std::string matrix_conductivity_problem(double k0);

// The inhomogeneity's conductivity k1: 0 (insulator) to infinity (perfect
// conductor): exactly 0, +infinity or a normal positive double.
std::string inhomogeneity_conductivity_problem(double k1);

// Finite and >= 0.
std::string tolerance_problem(double tol);

// 17 significant digits, enough to tell any two doubles apart.
std::string full_precision(double value);

}  // namespace csolver
