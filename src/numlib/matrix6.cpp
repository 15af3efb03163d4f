#include "numlib/matrix6.h"

namespace csolver {

Matrix6 inverse6(const Matrix6& a) {
  // Partial pivoting LU is exact enough for the well-conditioned isotropic
  // stiffness matrices and cheaper than a full-pivoting inverse.
  return a.partialPivLu().inverse();
}

}  // namespace csolver
