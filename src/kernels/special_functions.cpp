#include "kernels/special_functions.h"

#include <cmath>

namespace csolver {

double exp_f(double t) { return std::pow(E_F, t); }

double bessel_i0(double x) {
  const double a = std::fabs(x);
  if (a < 3.75) {
    const double u = (x / 3.75) * (x / 3.75);
    return 1.0 + u * (3.5156229 + u * (3.0899424 + u * (1.2067492 + u * (0.2659732 + u * (0.0360768 + u * 0.0045813)))));
  }
  // Also reached by NaN, which the comparison above rejects.
  const double v = 3.75 / a;
  return std::exp(a) / std::sqrt(a) *
         (0.39894228 +
          v * (0.01328592 +
               v * (0.00225319 +
                    v * (-0.00157565 +
                         v * (0.00916281 + v * (-0.02057706 + v * (0.02635537 + v * (-0.01647633 + v * 0.00392377))))))));
}

double bessel_i1(double x) {
  const double a = std::fabs(x);
  if (a < 3.75) {
    const double u = (x / 3.75) * (x / 3.75);
    return x * (0.5 + u * (0.87890594 + u * (0.51498869 + u * (0.15084934 + u * (0.02658733 + u * (0.00301532 + u * 0.00032411))))));
  }
  // Only non-negative arguments reach here from the kernels; I1 is odd, so the
  // sign of x is carried for the rest.
  const double v = 3.75 / a;
  const double magnitude =
      std::exp(a) / std::sqrt(a) *
      (0.39894228 +
       v * (-0.03988024 +
            v * (-0.00362018 +
                 v * (0.00163801 +
                      v * (-0.01031555 + v * (0.02282967 + v * (-0.02895312 + v * (0.01787654 + v * (-0.00420059)))))))));
  return x < 0 ? -magnitude : magnitude;
}

}  // namespace csolver
