// Concentration tensors from the solver's averaged fields.
//
// The solver's unknown is the contrast times the field (a polarization): under
// the compliance formulation eta = dS_t sigma, solved with the right-hand side
// e_n, which is the polarization of the remote stress sigma0 = dS_t^-1 e_n.
// Row n of mean_field is therefore dS_t B dS_t^-1 e_n, on tensor components,
// and B = dS_t^-1 m^T dS_t. Likewise under the stiffness formulation with dC_t
// and the strain. On tensor components a stress vector is the Voigt vector,
// while the Voigt (engineering) strain is W times the tensor strain, W =
// diag(1, 1, 1, 2, 2, 2); hence dS_t = W^-1 dS and dC_t = dC W.
#include "effective/algebra.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace contribution::effective {

using detail::Matrix;

namespace {

// The contrast must be invertible for the field to determine the tensor: its
// eigenvalues are the bulk and the shear contrasts.
void require_invertible_contrast(const Material& matrix, const Material& inhomogeneity, const std::string& what) {
  const IsotropicModuli m0 = moduli_of(matrix), m1 = moduli_of(inhomogeneity);
  constexpr double relative = 1e-12;
  if (std::abs(m1.K - m0.K) <= relative * std::max(m1.K, m0.K))
    throw std::invalid_argument(what + ": equal bulk moduli, the averaged field does not determine the tensor");
  if (std::abs(m1.G - m0.G) <= relative * std::max(m1.G, m0.G))
    throw std::invalid_argument(what + ": equal shear moduli, the averaged field does not determine the tensor");
}

}  // namespace

Tensor6 stress_concentration(const Tensor6& mean_field, const Material& matrix, const Material& inhomogeneity) {
  const std::string what = "stress_concentration";
  if (formulation_of(matrix, inhomogeneity) != Origin::compliance_formulation)
    throw std::invalid_argument(what + ": E1/E0 > 1 is solved under the stiffness formulation, whose averaged field "
                                       "gives the strain concentration tensor");
  detail::require_finite(mean_field, what);
  require_invertible_contrast(matrix, inhomogeneity, what);
  const Matrix dS = detail::compliance_matrix(inhomogeneity) - detail::compliance_matrix(matrix);
  const Matrix dS_t = detail::engineering_weights().inverse() * dS;
  const Matrix m = detail::to_matrix(mean_field);
  const Matrix B = detail::checked_inverse(dS_t, what) * m.transpose() * dS_t;
  return detail::to_tensor(B);
}

Tensor6 strain_concentration(const Tensor6& mean_field, const Material& matrix, const Material& inhomogeneity) {
  const std::string what = "strain_concentration";
  if (formulation_of(matrix, inhomogeneity) != Origin::stiffness_formulation)
    throw std::invalid_argument(what + ": E1/E0 <= 1 is solved under the compliance formulation, whose averaged field "
                                       "gives the stress concentration tensor");
  detail::require_finite(mean_field, what);
  require_invertible_contrast(matrix, inhomogeneity, what);
  // A on engineering strains: W dC_t^-1 m^T dC_t W^-1 = dC^-1 m^T dC.
  const Matrix dC = detail::stiffness_matrix(inhomogeneity) - detail::stiffness_matrix(matrix);
  const Matrix m = detail::to_matrix(mean_field);
  const Matrix A = detail::checked_inverse(dC, what) * m.transpose() * dC;
  return detail::to_tensor(A);
}

Tensor6 stress_from_strain_concentration(const Tensor6& A, const Material& matrix, const Material& inhomogeneity) {
  detail::require_material(matrix, "matrix");
  detail::require_material(inhomogeneity, "inhomogeneity");
  detail::require_finite(A, "strain concentration");
  const Matrix B = detail::stiffness_matrix(inhomogeneity) * detail::to_matrix(A) * detail::compliance_matrix(matrix);
  return detail::to_tensor(B);
}

Tensor6 strain_from_stress_concentration(const Tensor6& B, const Material& matrix, const Material& inhomogeneity) {
  detail::require_material(matrix, "matrix");
  detail::require_material(inhomogeneity, "inhomogeneity");
  detail::require_finite(B, "stress concentration");
  const Matrix A = detail::compliance_matrix(inhomogeneity) * detail::to_matrix(B) * detail::stiffness_matrix(matrix);
  return detail::to_tensor(A);
}

}  // namespace contribution::effective
