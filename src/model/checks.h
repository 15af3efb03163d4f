#pragma once
// What makes a material or a tolerance unusable, in the words every front
// end shows: each function returns an empty string for an acceptable value,
// otherwise "found <name> = <value>, expected ...".
#include <string>

namespace csolver {

// Young's modulus: finite and > 0. A pore is modelled by a small positive
// modulus, which the message for the inhomogeneity's modulus suggests.
std::string young_modulus_problem(const char* name, double E, bool inhomogeneity = false);

// The inhomogeneity's modulus in the library: >= 0 or infinity (0 is a void,
// infinity a rigid inclusion).
std::string inhomogeneity_modulus_problem(double E1);

// Poisson's ratio strictly inside (-1, 0.5): at 0.5 the Lame constant is infinite.
std::string poisson_ratio_problem(const char* name, double nu);

// Finite and >= 0.
std::string tolerance_problem(double tol);

// 17 significant digits, enough to tell any two doubles apart.
std::string full_precision(double value);

}  // namespace csolver
