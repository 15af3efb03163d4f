#pragma once
// Scalar functions shared by the volume and the planar kernel.
//
// The kernels were tabulated with single-precision constants widened to
// double, and every Gaussian factor is a power of the single-precision e. The
// kernel values depend on these in their last digits, so they are kept
// exactly rather than replaced by their double-precision counterparts.

namespace csolver {

inline constexpr double PI_F = 3.1415927410125732;      // float(pi)
inline constexpr double TWO_PI_F = 6.2831854820251465;  // float(2 pi)
inline constexpr double E_F = 2.7182817459106445;       // float(e)
inline constexpr double SQRT2 = 1.4142135623730951;     // double sqrt(2), used with erf

// E_F to the power t: what the kernels use for e^t.
double exp_f(double t);

// Modified Bessel functions I0 and I1, Abramowitz & Stegun 9.8.1-9.8.4
// (switch at |x| = 3.75, true exp in the large-argument forms).
double bessel_i0(double x);
double bessel_i1(double x);

}  // namespace csolver
