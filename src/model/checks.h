#pragma once
// What makes a material or a tolerance unusable, in the words every front
// end shows: each function returns an empty string for an acceptable value,
// otherwise "found <name> = <value>, expected ...".
#include <string>

namespace csolver {

// Young's modulus: finite and > 0. A pore is modelled by a small positive
// modulus, which the message for the inhomogeneity's modulus suggests.
std::string young_modulus_problem(const char* name, double E, bool inhomogeneity = false);

// Poisson's ratio strictly inside (-1, 0.5): at 0.5 the Lame constant is infinite.
std::string poisson_ratio_problem(const char* name, double nu);

// The matrix conductivity k0: finite and > 0.
std::string matrix_conductivity_problem(double k0);

// The inhomogeneity's conductivity k1: 0 (insulator) to infinity (perfect
// conductor), not NaN.
std::string inhomogeneity_conductivity_problem(double k1);

// Finite and >= 0.
std::string tolerance_problem(double tol);

// 17 significant digits, enough to tell any two doubles apart.
std::string full_precision(double value);

}  // namespace csolver
