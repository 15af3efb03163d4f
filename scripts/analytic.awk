# Analytic contribution tensors for scripts/validate. Call with -v case=NAME
# -v E0= -v n0= [-v E1= -v n1=] [-v a= -v b=] and print "ENTRY VALUE" lines.
#
# Sphere (Eshelby): per unit volume of the inhomogeneity, Voigt matrix with
# engineering shear, so H44 = 2 dG B_G.
# Crack (no volume division): the integral of the opening under unit traction.
# Elliptical crack, semi-axes a >= b along x and y, k^2 = 1 - b^2/a^2,
# k'^2 = b^2/a^2, K(k), E(k) complete elliptic integrals:
#   H33 = 8 pi (1-n0^2) a b^2 / (3 E0 E(k))
#   H55 (shear along a) = 8 pi (1-n0^2) a b^2 k^2 / (3 E0 [(k^2 - n0) E(k) + n0 k'^2 K(k)])
#   H44 (shear along b) = 8 pi (1-n0^2) a b^2 k^2 / (3 E0 [(k^2 + n0 k'^2) E(k) - n0 k'^2 K(k)])
# from the elliptical opening profiles of a crack in uniform shear (Kassir and
# Sih); both shear brackets tend to pi k^2 (2 - n0)/4 as k -> 0, giving the
# penny-shaped 32 (1-n0^2) a^3 / (3 (2-n0) E0).
function sphere(    K0, G0, K1, G1, alpha, beta, BK, BG, dK, dG) {
  K0 = E0 / (3 * (1 - 2 * n0)); G0 = E0 / (2 * (1 + n0))
  K1 = E1 / (3 * (1 - 2 * n1)); G1 = E1 / (2 * (1 + n1))
  alpha = (1 + n0) / (3 * (1 - n0)); beta = 2 * (4 - 5 * n0) / (15 * (1 - n0))
  BK = (K1 / K0) / (1 + alpha * (K1 - K0) / K0)
  BG = (G1 / G0) / (1 + beta * (G1 - G0) / G0)
  dK = 1 / (3 * K1) - 1 / (3 * K0); dG = 1 / (2 * G1) - 1 / (2 * G0)
  printf "H11 %.10g\nH12 %.10g\nH44 %.10g\n", dK * BK / 3 + 2 * dG * BG / 3, dK * BK / 3 - dG * BG / 3, 2 * dG * BG
}
# K(k) and E(k) by the arithmetic-geometric mean.
function elliptic(k,    an, bn, cn, sum, power, t) {
  an = 1; bn = sqrt(1 - k * k); sum = k * k / 2; power = 1
  while (an - bn > 1e-15 * an) {
    t = (an + bn) / 2; cn = (an - bn) / 2; bn = sqrt(an * bn); an = t
    sum += power * cn * cn; power *= 2
  }
  ellK = 3.14159265358979323846 / (2 * an)
  ellE = ellK * (1 - sum)
}
function crack(    pi, k2, kp2, base) {
  pi = 3.14159265358979323846
  if (b > a) { print "semi-axis a must be the larger" > "/dev/stderr"; exit 1 }
  k2 = 1 - b * b / (a * a); kp2 = 1 - k2
  base = 8 * pi * (1 - n0 * n0) * a * b * b / (3 * E0)
  if (k2 < 1e-12) {
    printf "H33 %.10g\nH44 %.10g\nH55 %.10g\n", 16 * (1 - n0 * n0) * a ^ 3 / (3 * E0), 32 * (1 - n0 * n0) * a ^ 3 / (3 * (2 - n0) * E0), 32 * (1 - n0 * n0) * a ^ 3 / (3 * (2 - n0) * E0)
    return
  }
  elliptic(sqrt(k2))
  printf "H33 %.10g\n", base / ellE
  printf "H44 %.10g\n", base * k2 / ((k2 + n0 * kp2) * ellE - n0 * kp2 * ellK)
  printf "H55 %.10g\n", base * k2 / ((k2 - n0) * ellE + n0 * kp2 * ellK)
}
# Spheroid with semi-axes a, a, c (axis z): Hill's tensor by quadrature over
# the unit sphere, P = a^2 c/(4 pi) * integral of Gamma(xi)/|A xi|^3, with
# Gamma_ijkl = sym(xi_j xi_l Kinv_ik) and the isotropic acoustic tensor
# Kinv = (delta - xi xi/(2(1-n0)))/G0. Then, per unit volume, N = dC (I + P dC)^-1
# and H = -S0 N S0, in Mandel 6x6 form, printed as the Voigt matrix with
# engineering shear (H44 = 23, H55 = 13, H66 = 12). With a = c it reproduces
# the sphere's closed form (checked to 1e-6).
function idx(i, j) { return i == j ? i : 9 - i - j }  # 1..3 normal, 4 = 23, 5 = 13, 6 = 12
function mandel_weight(I) { return I <= 3 ? 1 : sqrt(2) }
function isotropic(M, E, n,    lambda, G, I, J) {
  lambda = n * E / ((1 + n) * (1 - 2 * n)); G = E / (2 * (1 + n))
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) M[I, J] = 0
  for (I = 1; I <= 3; I++) { for (J = 1; J <= 3; J++) M[I, J] = lambda; M[I, I] = lambda + 2 * G; M[I + 3, I + 3] = 2 * G }
}
function invert6(A, B,    I, J, K, p, f, W) {
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) { W[I, J] = A[I, J]; B[I, J] = (I == J) }
  for (K = 1; K <= 6; K++) {
    p = W[K, K]
    for (J = 1; J <= 6; J++) { W[K, J] /= p; B[K, J] /= p }
    for (I = 1; I <= 6; I++) if (I != K) {
      f = W[I, K]
      for (J = 1; J <= 6; J++) { W[I, J] -= f * W[K, J]; B[I, J] -= f * B[K, J] }
    }
  }
}
function multiply6(A, B, C,    I, J, K, s) {
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) { s = 0; for (K = 1; K <= 6; K++) s += A[I, K] * B[K, J]; C[I, J] = s }
}
function spheroid(    pi, nt, nphi, it, ip, t, st, phi, x, w, i, j, k, l, Kinv, G0, P, I, J, C0, C1, dC, S0, T, U, Ui, N, H, HT) {
  pi = 3.14159265358979323846; nt = 2000; nphi = 64; G0 = E0 / (2 * (1 + n0))
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) P[I, J] = 0
  for (it = 0; it < nt; it++) {
    t = -1 + (it + 0.5) * 2 / nt; st = sqrt(1 - t * t)
    for (ip = 0; ip < nphi; ip++) {
      phi = (ip + 0.5) * 2 * pi / nphi
      x[1] = st * cos(phi); x[2] = st * sin(phi); x[3] = t
      w = (2 / nt) * (2 * pi / nphi) * a * a * c / (4 * pi) / (a * a * st * st + c * c * t * t) ^ 1.5
      for (i = 1; i <= 3; i++) for (j = 1; j <= 3; j++) Kinv[i, j] = ((i == j) - x[i] * x[j] / (2 * (1 - n0))) / G0
      # Each (I, J) pair of the upper triangle once; Gamma's symmetries fill the rest.
      for (i = 1; i <= 3; i++) for (j = i; j <= 3; j++) for (k = 1; k <= 3; k++) for (l = k; l <= 3; l++)
        P[idx(i, j), idx(k, l)] += w * (Kinv[i, k] * x[j] * x[l] + Kinv[j, k] * x[i] * x[l] + Kinv[i, l] * x[j] * x[k] + Kinv[j, l] * x[i] * x[k]) / 4
    }
  }
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) P[I, J] *= mandel_weight(I) * mandel_weight(J)
  isotropic(C0, E0, n0); isotropic(C1, E1, n1)
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) dC[I, J] = C1[I, J] - C0[I, J]
  invert6(C0, S0)
  multiply6(P, dC, T)
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) U[I, J] = (I == J) + T[I, J]
  invert6(U, Ui); multiply6(dC, Ui, N)
  multiply6(S0, N, T); multiply6(T, S0, H)
  for (I = 1; I <= 6; I++) for (J = 1; J <= 6; J++) HT[I, J] = -H[I, J] * mandel_weight(I) * mandel_weight(J)
  printf "H11 %.10g\nH12 %.10g\nH13 %.10g\nH33 %.10g\nH44 %.10g\nH55 %.10g\nH66 %.10g\n", HT[1, 1], HT[1, 2], HT[1, 3], HT[3, 3], HT[4, 4], HT[5, 5], HT[6, 6]
}
BEGIN {
  if (case == "sphere") sphere()
  else if (case == "spheroid") spheroid()
  else if (case == "crack") crack()
  else { print "unknown case " case > "/dev/stderr"; exit 1 }
}
