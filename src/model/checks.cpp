#include "model/checks.h"

#include <cmath>
#include <sstream>

namespace csolver {

std::string full_precision(double value) {
  std::ostringstream out;
  out.precision(17);
  out << value;
  return out.str();
}

std::string young_modulus_problem(const char* name, double E, bool inhomogeneity) {
  if (std::isfinite(E) && E > 0) return {};
  return "found " + std::string(name) + " = " + full_precision(E) + ", expected a Young's modulus > 0" +
         (inhomogeneity ? " (model a pore with a small positive E1, e.g. 1e-4 E0)" : "");
}

std::string inhomogeneity_modulus_problem(double E1) {
  if (E1 >= 0) return {};  // false for NaN; true for +infinity
  return "found E1 = " + full_precision(E1) + ", expected a Young's modulus >= 0 (0: a void, inf: a rigid inclusion)";
}

std::string poisson_ratio_problem(const char* name, double nu) {
  if (std::isfinite(nu) && nu > -1 && nu < 0.5) return {};
  return "found " + std::string(name) + " = " + full_precision(nu) + ", expected a Poisson's ratio in (-1, 0.5)";
}

std::string tolerance_problem(double tol) {
  if (std::isfinite(tol) && tol >= 0) return {};
  return "found tol = " + full_precision(tol) + ", expected a finite tolerance >= 0";
}

}  // namespace csolver
