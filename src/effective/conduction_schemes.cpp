// Scalar effective conductivity: non-interaction (both forms), Mori-Tanaka
// and Maxwell, from the isotropic parts of resistivity contribution tensors.
#include "contribution/effective.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace contribution::effective {

namespace {

double isotropic_part(const Tensor3& t) { return (t[0][0] + t[1][1] + t[2][2]) / 3; }

// Checks the matrix and the phases; returns the sum of the volume fractions.
double checked(double k0, const std::vector<ConductionPhase>& phases, const std::string& scheme) {
  if (!std::isfinite(k0) || k0 <= 0)
    throw std::invalid_argument(scheme + ": the matrix conductivity must be finite and > 0, got " + std::to_string(k0));
  double sum = 0;
  for (std::size_t i = 0; i < phases.size(); ++i) {
    const ConductionPhase& p = phases[i];
    const std::string name = scheme + ": phase " + std::to_string(i + 1);
    if (p.kind != Kind::inhomogeneity && p.kind != Kind::pore && p.kind != Kind::crack)
      throw std::invalid_argument(name + ": unknown kind");
    if (!std::isfinite(p.weight) || p.weight < 0)
      throw std::invalid_argument(name + ": the weight must be finite and not negative, got " + std::to_string(p.weight));
    for (const auto& row : p.R)
      for (double v : row)
        if (!std::isfinite(v)) throw std::invalid_argument(name + ": R has a non-finite entry");
    if (p.kind == Kind::inhomogeneity && !(p.k1 >= 0))
      throw std::invalid_argument(name + ": k1 must be >= 0 (infinity for a perfect conductor), got " + std::to_string(p.k1));
    if (p.kind != Kind::crack) sum += p.weight;
  }
  if (sum > 1) throw std::invalid_argument(scheme + ": the volume fractions sum to " + std::to_string(sum) + ", more than 1");
  return sum;
}

// sum w_i K_i, K_i = -k0^2 R_i.
double weighted_k(double k0, const std::vector<ConductionPhase>& phases) {
  double sum = 0;
  for (const ConductionPhase& p : phases) sum += p.weight * (-k0 * k0 * isotropic_part(p.R));
  return sum;
}

}  // namespace

double nia_conductivity(double k0, const std::vector<ConductionPhase>& phases) {
  checked(k0, phases, "nia_conductivity");
  return k0 + weighted_k(k0, phases);
}

double nia_resistivity(double k0, const std::vector<ConductionPhase>& phases) {
  checked(k0, phases, "nia_resistivity");
  double r = 1 / k0;
  for (const ConductionPhase& p : phases) r += p.weight * isotropic_part(p.R);
  if (!(r > 0)) throw std::invalid_argument("nia_resistivity: the effective resistivity is not positive");
  return 1 / r;
}

double mori_tanaka_conductivity(double k0, const std::vector<ConductionPhase>& phases) {
  const double c0 = 1 - checked(k0, phases, "mori_tanaka_conductivity");
  if (!(c0 > 0)) throw std::invalid_argument("mori_tanaka_conductivity: the volume fractions sum to 1; the matrix is gone");
  double fields = c0;
  for (const ConductionPhase& p : phases) {
    const double K = -k0 * k0 * isotropic_part(p.R);
    const double k1 = p.kind == Kind::inhomogeneity ? p.k1 : 0.0;
    double concentration = 1;  // k1 = k0: no disturbance
    if (std::isinf(k1)) concentration = 0;
    else if (k1 != k0) concentration = K / (k1 - k0);
    fields += p.weight * concentration;
  }
  return k0 + weighted_k(k0, phases) / fields;
}

double maxwell_conductivity(double k0, const std::vector<ConductionPhase>& phases) {
  checked(k0, phases, "maxwell_conductivity");
  const double sum = weighted_k(k0, phases);
  if (sum == 0) return k0;
  if (sum >= 3 * k0)
    throw std::invalid_argument("maxwell_conductivity: sum w K = " + std::to_string(sum) +
                                " reaches 3 k0, where the effective sphere would conduct perfectly");
  return k0 + 1 / (1 / sum - 1 / (3 * k0));
}

}  // namespace contribution::effective
