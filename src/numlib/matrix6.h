#pragma once
// Dense 6x6 algebra of the elastic tensors.
//
// Index convention of every Matrix6 in the program: rows and columns 1-3 are
// the normal components 11, 22, 33, rows and columns 4-6 the shear components.
// The stiffness matrices carry the shear modulus on their shear diagonal
// (Voigt with engineering shear strain). Which shear pair stands in 4, 5, 6
// depends on the stage: see the kernels and the contribution tensors.
#include <Eigen/Dense>

namespace csolver {

using Matrix6 = Eigen::Matrix<double, 6, 6>;
using Vector6 = Eigen::Matrix<double, 6, 1>;

// Dense inverse; a singular matrix (n0 = 0.5) gives non-finite entries, which
// the input checks rule out before it is called.
Matrix6 inverse6(const Matrix6& a);

}  // namespace csolver
