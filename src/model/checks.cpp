#include "model/checks.h"

#include <cmath>
#include <limits>
#include <sstream>

namespace csolver {

std::string full_precision(double value) {
  std::ostringstream out;
  out.precision(17);
  out << value;
  return out.str();
}

std::string young_modulus_problem(const char* name, double E, bool inhomogeneity, bool allow_zero_and_infinity) {
  if (std::isnormal(E) && E > 0) return {};
  if (allow_zero_and_infinity && (E == 0 || E == std::numeric_limits<double>::infinity())) return {};
  const std::string found = "found " + std::string(name) + " = " + full_precision(E);
  if (E > 0 && std::isfinite(E))
    return found + ", expected a Young's modulus of at least " + full_precision(std::numeric_limits<double>::min()) +
           " (a subnormal number has lost its digits)";
  return found + ", expected a Young's modulus > 0" +
         (allow_zero_and_infinity ? std::string(", or exactly 0 or infinity")
          : inhomogeneity          ? std::string(" (model a pore with a small positive E1, e.g. 1e-4 E0)")
                                   : std::string());
}

std::string contrast_problem(double E0, double E1) {
  // Moduli that are unusable by themselves are young_modulus_problem's to name;
  // exactly 0 or infinity are limits, not contrasts.
  if (!(std::isnormal(E0) && E0 > 0 && std::isnormal(E1) && E1 > 0)) return {};
  const double ratio = E1 / E0;
  if (ratio <= LARGEST_CONTRAST && ratio >= 1 / LARGEST_CONTRAST) return {};
  return "found E1/E0 = " + full_precision(ratio) + ", expected a contrast between 1e-100 and 1e100 (beyond it the "
         "difference of the materials is lost to rounding; the contribution has long reached its void or rigid limit)";
}

std::string poisson_ratio_problem(const char* name, double nu) {
  if (std::isfinite(nu) && nu > -1 && nu < 0.5) return {};
  return "found " + std::string(name) + " = " + full_precision(nu) + ", expected a Poisson's ratio in (-1, 0.5)";
}

// As for the moduli: a subnormal conductivity has lost its digits and its
// resistivity overflows.
std::string matrix_conductivity_problem(double k0) {
  if (std::isnormal(k0) && k0 > 0) return {};
  return "found k0 = " + full_precision(k0) + ", expected a finite matrix conductivity > 0 (a normal double)";
}

std::string inhomogeneity_conductivity_problem(double k1) {
  if ((std::isnormal(k1) && k1 > 0) || k1 == 0 || k1 == std::numeric_limits<double>::infinity()) return {};
  return "found k1 = " + full_precision(k1) +
         ", expected a conductivity from 0 (insulator) to infinity (perfect conductor), a normal double between";
}

std::string tolerance_problem(double tol) {
  if (std::isfinite(tol) && tol >= 0) return {};
  return "found tol = " + full_precision(tol) + ", expected a finite tolerance >= 0";
}

}  // namespace csolver
