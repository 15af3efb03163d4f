#pragma once
// Eshelby's ellipsoid in an isotropic matrix, for any semi-axes and
// orientation: Hill's tensor by quadrature over the unit sphere,
//   P = a1 a2 a3 / (4 pi) * integral of Gamma(xi) / (xi . Q xi)^(3/2),
// Q = R diag(a^2) R^T, Gamma_ijkl = sym(xi_j xi_l Kinv_ik) with the isotropic
// acoustic tensor Kinv = (delta - xi xi / (2 (1 - n0))) / G0; then the dilute
// strain concentration A = (I + P dC)^-1 and B = C1 A S0, N = dC A,
// H = -S0 N S0, all per unit volume of the inhomogeneity. The algebra runs on
// Mandel vectors (orthonormal: shear entries times sqrt 2); results come back
// as Voigt matrices with engineering shear in the order 11, 22, 33, 23, 13, 12.
// Gauss-Legendre in cos(theta) and the trapezoidal rule in phi converge
// exponentially on the smooth integrand.
#include <Eigen/Dense>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace effective_testing {

using Matrix6 = Eigen::Matrix<double, 6, 6>;
using Rotation = std::array<std::array<double, 3>, 3>;  // body frame to grid

struct EllipsoidTensors {
  Matrix6 A, B, H, N;
};

inline void gauss_legendre(int n, std::vector<double>& x, std::vector<double>& w) {
  x.assign(n, 0);
  w.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    double t = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5)), dp = 1;
    for (int it = 0; it < 100; ++it) {
      double p0 = 1, p1 = t;
      for (int k = 2; k <= n; ++k) {
        const double p2 = ((2 * k - 1) * t * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (t * p1 - p0) / (t * t - 1);
      const double step = p1 / dp;
      t -= step;
      if (std::abs(step) < 1e-16) break;
    }
    x[i] = t;
    w[i] = 2 / ((1 - t * t) * dp * dp);
  }
}

inline Matrix6 isotropic_mandel_stiffness(double E, double n) {
  const double lambda = n * E / ((1 + n) * (1 - 2 * n)), G = E / (2 * (1 + n));
  Matrix6 C = Matrix6::Zero();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) C(r, c) = r == c ? lambda + 2 * G : lambda;
  for (int r = 3; r < 6; ++r) C(r, r) = 2 * G;
  return C;
}

inline EllipsoidTensors eshelby_ellipsoid(const std::array<double, 3>& a, const Rotation& R, double E0, double n0,
                                          double E1, double n1, int n_theta = 96, int n_phi = 192) {
  // Q = R diag(a^2) R^T
  double Q[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      Q[i][j] = 0;
      for (int k = 0; k < 3; ++k) Q[i][j] += R[i][k] * a[k] * a[k] * R[j][k];
    }
  const double G0 = E0 / (2 * (1 + n0));
  const int first[6] = {0, 1, 2, 1, 0, 0}, second[6] = {0, 1, 2, 2, 2, 1};
  std::vector<double> t, wt;
  gauss_legendre(n_theta, t, wt);
  Matrix6 P = Matrix6::Zero();
  for (int it = 0; it < n_theta; ++it) {
    const double st = std::sqrt(1 - t[it] * t[it]);
    for (int ip = 0; ip < n_phi; ++ip) {
      const double phi = 2 * std::numbers::pi * ip / n_phi;
      const double x[3] = {st * std::cos(phi), st * std::sin(phi), t[it]};
      double xQx = 0;
      for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) xQx += x[i] * Q[i][j] * x[j];
      const double w = wt[it] * (2 * std::numbers::pi / n_phi) * a[0] * a[1] * a[2] / (4 * std::numbers::pi) /
                       std::pow(xQx, 1.5);
      double Kinv[3][3];
      for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k) Kinv[i][k] = ((i == k) - x[i] * x[k] / (2 * (1 - n0))) / G0;
      for (int I = 0; I < 6; ++I)
        for (int J = 0; J < 6; ++J) {
          const int i = first[I], j = second[I], k = first[J], l = second[J];
          P(I, J) += w * (Kinv[i][k] * x[j] * x[l] + Kinv[j][k] * x[i] * x[l] + Kinv[i][l] * x[j] * x[k] +
                          Kinv[j][l] * x[i] * x[k]) / 4;
        }
    }
  }
  Matrix6 mandel = Matrix6::Identity();
  for (int r = 3; r < 6; ++r) mandel(r, r) = std::sqrt(2.0);
  P = mandel * P * mandel;
  const Matrix6 C0 = isotropic_mandel_stiffness(E0, n0), C1 = isotropic_mandel_stiffness(E1, n1);
  const Matrix6 S0 = C0.inverse(), dC = C1 - C0;
  const Matrix6 A = (Matrix6::Identity() + P * dC).inverse();
  const Matrix6 B = C1 * A * S0, N = dC * A, H = -S0 * N * S0;
  // Mandel to Voigt with engineering shear, Lambda = diag(1, 1, 1, sqrt 2, ...):
  // stiffness-like Lambda^-1 X Lambda^-1, compliance-like Lambda X Lambda,
  // stress-to-stress Lambda^-1 X Lambda, strain-to-strain Lambda X Lambda^-1.
  const Matrix6 Li = mandel.inverse();
  return {mandel * A * Li, Li * B * mandel, mandel * H * mandel, Li * N * Li};
}

}  // namespace effective_testing
