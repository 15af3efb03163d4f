#pragma once
// The 6x6 algebra behind the public effective-properties interface: plain
// arrays in and out, Eigen inside, and the checks every entry point applies.
#include "contribution/effective.h"

#include <Eigen/Dense>

#include <string>

namespace contribution::effective::detail {

using Matrix = Eigen::Matrix<double, 6, 6>;

Matrix to_matrix(const Tensor6& t);
Tensor6 to_tensor(const Matrix& m);

// Engineering factors: strain vectors carry 2 e_ij in rows 4-6.
Matrix engineering_weights();

// Each throws std::invalid_argument naming `what`.
void require_finite(const Tensor6& t, const std::string& what);
void require_material(const Material& material, const std::string& what);
// An inverse that rejects singular matrices rather than returning infinities.
Matrix checked_inverse(const Matrix& m, const std::string& what);

Matrix stiffness_matrix(const Material& material);
Matrix compliance_matrix(const Material& material);

}  // namespace contribution::effective::detail
