// The non-interaction approximation and the Mori-Tanaka scheme.
#include "effective/algebra.h"

#include <cmath>
#include <stdexcept>
#include <string>

namespace contribution::effective {

using detail::Matrix;

namespace {

bool occupies_volume(Kind kind) { return kind == Kind::inhomogeneity || kind == Kind::pore; }

std::string phase_name(const std::string& scheme, std::size_t i) { return scheme + ": phase " + std::to_string(i + 1); }

// Checks weights, kinds and tensors; returns the sum of the volume fractions.
template <typename Phase>
double checked_volume_fraction(const std::vector<Phase>& phases, const std::string& scheme,
                               const Tensor6& (*tensor)(const Phase&), const Tensor6& (*concentration)(const Phase&)) {
  double sum = 0;
  for (std::size_t i = 0; i < phases.size(); ++i) {
    const Phase& p = phases[i];
    const std::string name = phase_name(scheme, i);
    if (p.kind != Kind::inhomogeneity && p.kind != Kind::pore && p.kind != Kind::crack)
      throw std::invalid_argument(name + ": unknown kind");
    if (!std::isfinite(p.weight) || p.weight < 0)
      throw std::invalid_argument(name + ": the weight must be finite and not negative, got " +
                                  std::to_string(p.weight));
    detail::require_finite(tensor(p), name);
    if (p.kind == Kind::inhomogeneity) detail::require_finite(concentration(p), name + " concentration tensor");
    if (occupies_volume(p.kind)) sum += p.weight;
  }
  return sum;
}

const Tensor6& H_of(const CompliancePhase& p) { return p.H; }
const Tensor6& B_of(const CompliancePhase& p) { return p.B; }
const Tensor6& N_of(const StiffnessPhase& p) { return p.N; }
const Tensor6& A_of(const StiffnessPhase& p) { return p.A; }

void require_at_most_one(double volume_fraction, const std::string& scheme) {
  if (!(volume_fraction <= 1))
    throw std::invalid_argument(scheme + ": the volume fractions sum to " + std::to_string(volume_fraction) +
                                ", more than 1");
}

// Mori-Tanaka divides by the matrix's own volume fraction.
double matrix_fraction(double volume_fraction, const std::string& scheme) {
  if (!(volume_fraction < 1))
    throw std::invalid_argument(scheme + ": the volume fractions sum to " + std::to_string(volume_fraction) +
                                "; the matrix must keep a positive volume fraction");
  return 1 - volume_fraction;
}

}  // namespace

Tensor6 nia_compliance(const Material& matrix, const std::vector<CompliancePhase>& phases) {
  const std::string scheme = "nia_compliance";
  detail::require_material(matrix, scheme + ": matrix");
  require_at_most_one(checked_volume_fraction(phases, scheme, H_of, B_of), scheme);
  Matrix S = detail::compliance_matrix(matrix);
  for (const CompliancePhase& p : phases) S += p.weight * detail::to_matrix(p.H);
  return detail::to_tensor(S);
}

Tensor6 nia_stiffness(const Material& matrix, const std::vector<StiffnessPhase>& phases) {
  const std::string scheme = "nia_stiffness";
  detail::require_material(matrix, scheme + ": matrix");
  require_at_most_one(checked_volume_fraction(phases, scheme, N_of, A_of), scheme);
  Matrix C = detail::stiffness_matrix(matrix);
  for (const StiffnessPhase& p : phases) C += p.weight * detail::to_matrix(p.N);
  return detail::to_tensor(C);
}

// The remote stress equals the volume average of the stress: sigma = c0
// <sigma>_0 + sum phi_i B_i <sigma>_0 (pores and cracks carry no stress), and
// the average strain is S0 sigma plus each phase's w_i H_i <sigma>_0.
Tensor6 mori_tanaka_compliance(const Material& matrix, const std::vector<CompliancePhase>& phases) {
  const std::string scheme = "mori_tanaka_compliance";
  detail::require_material(matrix, scheme + ": matrix");
  const double c0 = matrix_fraction(checked_volume_fraction(phases, scheme, H_of, B_of), scheme);
  Matrix sum_H = Matrix::Zero();
  Matrix T = c0 * Matrix::Identity();
  for (const CompliancePhase& p : phases) {
    sum_H += p.weight * detail::to_matrix(p.H);
    if (p.kind == Kind::inhomogeneity) T += p.weight * detail::to_matrix(p.B);
  }
  const Matrix S = detail::compliance_matrix(matrix) + sum_H * detail::checked_inverse(T, scheme + ": stress average");
  return detail::to_tensor(S);
}

// The average strain is c0 <eps>_0 + sum phi_i A_i <eps>_0 plus, for pores and
// cracks, the strain of their surfaces w_i H_i C0 <eps>_0 = -w_i S0 N_i <eps>_0
// (for a pore this is its A: N = (C1 - C0) A with C1 = 0).
Tensor6 mori_tanaka_stiffness(const Material& matrix, const std::vector<StiffnessPhase>& phases) {
  const std::string scheme = "mori_tanaka_stiffness";
  detail::require_material(matrix, scheme + ": matrix");
  const double c0 = matrix_fraction(checked_volume_fraction(phases, scheme, N_of, A_of), scheme);
  const Matrix S0 = detail::compliance_matrix(matrix);
  Matrix sum_N = Matrix::Zero();
  Matrix T = c0 * Matrix::Identity();
  for (const StiffnessPhase& p : phases) {
    const Matrix N = detail::to_matrix(p.N);
    sum_N += p.weight * N;
    if (p.kind == Kind::inhomogeneity)
      T += p.weight * detail::to_matrix(p.A);
    else
      T -= p.weight * (S0 * N);
  }
  const Matrix C = detail::stiffness_matrix(matrix) + sum_N * detail::checked_inverse(T, scheme + ": strain average");
  return detail::to_tensor(C);
}

}  // namespace contribution::effective
