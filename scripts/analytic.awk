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
BEGIN {
  if (case == "sphere") sphere()
  else if (case == "crack") crack()
  else { print "unknown case " case > "/dev/stderr"; exit 1 }
}
