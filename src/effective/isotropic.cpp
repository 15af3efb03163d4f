// Orders of the solver's results, isotropic tensors and projections.
#include "effective/algebra.h"

#include <stdexcept>
#include <utility>

namespace contribution::effective {

using detail::Matrix;

namespace {
// Exchanges components 4 and 6 in both indices (12 <-> 23).
Tensor6 exchange_4_6(Tensor6 t) {
  std::swap(t[3], t[5]);
  for (auto& row : t) std::swap(row[3], row[5]);
  return t;
}
}  // namespace

Origin formulation_of(const Material& matrix, const Material& inhomogeneity) {
  detail::require_material(matrix, "matrix");
  detail::require_material(inhomogeneity, "inhomogeneity");
  return inhomogeneity.E / matrix.E > 1 ? Origin::stiffness_formulation : Origin::compliance_formulation;
}

Tensor6 tensor_to_standard_order(const Tensor6& printed, Origin origin) {
  detail::require_finite(printed, "contribution tensor");
  return origin == Origin::stiffness_formulation ? exchange_4_6(printed) : printed;
}

Tensor6 mean_field_to_standard_order(const Tensor6& mean_field, Origin origin) {
  if (origin == Origin::crack) throw std::invalid_argument("mean_field: a crack result has no averaged field");
  detail::require_finite(mean_field, "mean_field");
  return origin == Origin::compliance_formulation ? exchange_4_6(mean_field) : mean_field;
}

Tensor6 isotropic_stiffness(const Material& material) {
  detail::require_material(material, "material");
  return detail::to_tensor(detail::stiffness_matrix(material));
}

Tensor6 isotropic_compliance(const Material& material) {
  detail::require_material(material, "material");
  return detail::to_tensor(detail::compliance_matrix(material));
}

namespace {
IsotropicModuli from_K_G(double K, double G) {
  return {K, G, 9 * K * G / (3 * K + G), (3 * K - 2 * G) / (2 * (3 * K + G))};
}

struct Sums {
  double normal = 0, off = 0, shear = 0;  // diagonal 11..33, pairs 12, 13, 23, diagonal 44..66
};
Sums sums_of(const Tensor6& t) {
  Sums s;
  for (int a = 0; a < 3; ++a) {
    s.normal += t[a][a];
    s.shear += t[3 + a][3 + a];
  }
  // Both triangles, halved: a tensor from a scheme need not be exactly symmetric.
  s.off = (t[0][1] + t[1][0] + t[0][2] + t[2][0] + t[1][2] + t[2][1]) / 2;
  return s;
}
}  // namespace

IsotropicModuli moduli_of(const Material& material) {
  detail::require_material(material, "material");
  return from_K_G(material.E / (3 * (1 - 2 * material.nu)), material.E / (2 * (1 + material.nu)));
}

IsotropicModuli isotropic_projection_of_stiffness(const Tensor6& C) {
  detail::require_finite(C, "stiffness");
  const Sums s = sums_of(C);
  return from_K_G((s.normal + 2 * s.off) / 9, (s.normal - s.off + 3 * s.shear) / 15);
}

IsotropicModuli isotropic_projection_of_compliance(const Tensor6& S) {
  detail::require_finite(S, "compliance");
  const Sums s = sums_of(S);
  return from_K_G(1 / (s.normal + 2 * s.off), 15 / (4 * (s.normal - s.off) + 3 * s.shear));
}

Tensor6 inverse(const Tensor6& t) {
  detail::require_finite(t, "inverse");
  return detail::to_tensor(detail::checked_inverse(detail::to_matrix(t), "inverse"));
}

}  // namespace contribution::effective
