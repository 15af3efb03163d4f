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

std::string poisson_ratio_problem(const char* name, double nu) {
  if (std::isfinite(nu) && nu > -1 && nu < 0.5) return {};
  return "found " + std::string(name) + " = " + full_precision(nu) + ", expected a Poisson's ratio in (-1, 0.5)";
}

std::string matrix_conductivity_problem(double k0) {
  if (std::isfinite(k0) && k0 > 0) return {};
  return "found k0 = " + full_precision(k0) + ", expected a finite matrix conductivity > 0";
}

std::string inhomogeneity_conductivity_problem(double k1) {
  if (k1 >= 0) return {};  // NaN fails the comparison
  return "found k1 = " + full_precision(k1) +
         ", expected a conductivity from 0 (insulator) to infinity (perfect conductor)";
}

std::string tolerance_problem(double tol) {
  if (std::isfinite(tol) && tol >= 0) return {};
  return "found tol = " + full_precision(tol) + ", expected a finite tolerance >= 0";
}

}  // namespace csolver
