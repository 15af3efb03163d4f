# Analytic resistivity contribution tensors of steady conduction for
# scripts/validate conductivity. Call with -v case=NAME -v k0= [-v k1=]
# [-v a= -v c=] [-v a= -v b=] and print "ENTRY VALUE" lines.
#
# Spheroid with semi-axes a (x, y) and c (z), per unit volume: depolarization
# factors A3 (oblate c < a, e^2 = 1 - c^2/a^2: (1 - sqrt(1-e^2) asin(e)/e)/e^2;
# prolate c > a, e^2 = 1 - a^2/c^2: (1-e^2)/e^2 (atanh(e)/e - 1); sphere 1/3),
# A1 = A2 = (1 - A3)/2; K_i = (k1 - k0) / (1 + A_i (k1 - k0)/k0) (k1 = inf:
# k0 / A_i), R_i = -K_i / k0^2.
# Insulating elliptical crack, a >= b, not divided by any volume:
# R33 = 4 pi a b^2 / (3 k0 E(k)), k^2 = 1 - b^2/a^2 (penny: 8 a^3 / (3 k0)).
function elliptic_e(k,    an, bn, cn, sum, power, t) {
  an = 1; bn = sqrt(1 - k * k); sum = k * k / 2; power = 1
  while (an - bn > 1e-15 * an) {
    t = (an + bn) / 2; cn = (an - bn) / 2; bn = sqrt(an * bn); an = t
    sum += power * cn * cn; power *= 2
  }
  return 3.141592653589793 / (2 * an) * (1 - sum)
}
function principal_r(A) {
  if (k1 == "inf") return -1 / (A * k0)
  return -((k1 - k0) / (1 + A * (k1 - k0) / k0)) / (k0 * k0)
}
function spheroid(    e, A1, A3) {
  if (c < a) {
    e = sqrt(1 - c * c / (a * a))
    A3 = (1 - sqrt(1 - e * e) * atan2(e, sqrt(1 - e * e)) / e) / (e * e)
  } else if (c > a) {
    e = sqrt(1 - a * a / (c * c))
    A3 = (1 - e * e) / (e * e) * (0.5 * log((1 + e) / (1 - e)) / e - 1)
  } else {
    A3 = 1 / 3
  }
  A1 = (1 - A3) / 2
  printf "R11 %.10g\nR33 %.10g\n", principal_r(A1), principal_r(A3)
}
BEGIN {
  if (case == "spheroid") spheroid()
  else if (case == "crack") printf "R33 %.10g\n", 4 * 3.141592653589793 * a * b * b / (3 * k0 * elliptic_e(sqrt(1 - b * b / (a * a))))
}
