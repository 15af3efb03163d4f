#include "contribution/effective_error.h"

#include <cmath>
#include <limits>
#include <stdexcept>
#include <string>

namespace contribution::effective {

Tensor6 compliance_error(const std::vector<CompliancePhase>& phases, const std::vector<Tensor6>& H_errors, Scheme scheme) {
  if (H_errors.size() != phases.size())
    throw std::invalid_argument("found " + std::to_string(H_errors.size()) + " error tensors for " +
                                std::to_string(phases.size()) + " phases");
  double c0 = 1;
  Tensor6 total{};
  for (std::size_t i = 0; i < phases.size(); ++i) {
    if (phases[i].kind == Kind::inhomogeneity)
      throw std::invalid_argument("compliance_error takes pores and cracks; an inhomogeneity's B carries an error too");
    for (const auto& row : H_errors[i])
      for (double e : row)
        if (!(e >= 0) || !std::isfinite(e)) throw std::invalid_argument("each H error must hold finite half-widths >= 0");
    if (phases[i].kind == Kind::pore && scheme == Scheme::mori_tanaka) c0 -= phases[i].weight;
    for (std::size_t r = 0; r < 6; ++r)
      for (std::size_t c = 0; c < 6; ++c) total[r][c] += phases[i].weight * H_errors[i][r][c];
  }
  if (!(c0 > 0)) throw std::invalid_argument("the pores' volume fractions sum to " + std::to_string(1 - c0) + ", expected below 1");
  for (auto& row : total)
    for (double& e : row) e /= c0;
  return total;
}

namespace {

constexpr double INF = std::numeric_limits<double>::infinity();

double young(double k, double g) {  // 9 k g / (3 k + g), with its limits
  if (std::isinf(k) || std::isinf(g)) return std::isinf(k) && std::isinf(g) ? INF : (std::isinf(k) ? 3 * g : 9 * k);
  return 9 * k * g / (3 * k + g);
}

double poisson(double k, double g) {  // (3 k - 2 g) / (2 (3 k + g)), with its limits
  if (std::isinf(k)) return std::isinf(g) ? std::numeric_limits<double>::quiet_NaN() : 0.5;
  if (std::isinf(g)) return -1;
  return (3 * k - 2 * g) / (2 * (3 * k + g));
}

ModulusRange from_inverse(double inverse, double bar) {
  return {1 / (inverse + bar), inverse > bar ? 1 / (inverse - bar) : INF};
}

}  // namespace

IsotropicRange isotropic_moduli_range(const Tensor6& S, const Tensor6& e) {
  IsotropicRange out;
  out.moduli = isotropic_projection_of_compliance(S);
  const double upper = e[0][1] + e[0][2] + e[1][2], lower = e[1][0] + e[2][0] + e[2][1];
  const double normal = e[0][0] + e[1][1] + e[2][2], shear = e[3][3] + e[4][4] + e[5][5];
  const double bar_inv_K = normal + upper + lower;
  const double bar_inv_G = (4 * (normal + 0.5 * (upper + lower)) + 3 * shear) / 15;
  out.K = from_inverse(1 / out.moduli.K, bar_inv_K);
  out.G = from_inverse(1 / out.moduli.G, bar_inv_G);
  out.E = {young(out.K.low, out.G.low), young(out.K.high, out.G.high)};
  out.nu = {poisson(out.K.low, out.G.high), poisson(out.K.high, out.G.low)};
  return out;
}

double covering_error(double value, const ModulusRange& range) {
  if (std::isinf(range.low) || std::isinf(range.high) || std::isnan(range.low) || std::isnan(range.high)) return INF;
  return std::max(std::abs(value - range.low), std::abs(range.high - value));
}

double conductivity(ConductionScheme scheme, double k0, const std::vector<ConductionPhase>& phases) {
  switch (scheme) {
    case ConductionScheme::nia: return nia_conductivity(k0, phases);
    case ConductionScheme::nia_resistivity: return nia_resistivity(k0, phases);
    case ConductionScheme::mori_tanaka: return mori_tanaka_conductivity(k0, phases);
    case ConductionScheme::maxwell: return maxwell_conductivity(k0, phases);
  }
  throw std::invalid_argument("unknown conduction scheme");
}

ModulusRange conductivity_range(ConductionScheme scheme, double k0, const std::vector<ConductionPhase>& phases,
                                const std::vector<Tensor3>& R_errors) {
  if (R_errors.size() != phases.size())
    throw std::invalid_argument("found " + std::to_string(R_errors.size()) + " error tensors for " +
                                std::to_string(phases.size()) + " phases");
  for (const Tensor3& e : R_errors)
    for (const auto& row : e)
      for (double v : row)
        if (!(v >= 0) || !std::isfinite(v)) throw std::invalid_argument("each R error must hold finite half-widths >= 0");
  auto k1_of = [](const ConductionPhase& p) { return p.kind == Kind::inhomogeneity ? p.k1 : 0.0; };
  if (scheme == ConductionScheme::mori_tanaka)
    for (const ConductionPhase& p : phases)
      if (k1_of(p) != k1_of(phases.front()))
        throw std::invalid_argument("conductivity_range: Mori-Tanaka over phases of different k1 is not monotone in each R");
  const double k = conductivity(scheme, k0, phases);  // the scheme's own refusals hold
  // Every phase's isotropic part moved by `sign` times its bar.
  auto shifted = [&](double sign) {
    std::vector<ConductionPhase> moved = phases;
    for (std::size_t i = 0; i < moved.size(); ++i)
      for (std::size_t d = 0; d < 3; ++d) moved[i].R[d][d] += sign * R_errors[i][d][d];
    try {
      return conductivity(scheme, k0, moved);
    } catch (const std::invalid_argument&) {
      return std::numeric_limits<double>::quiet_NaN();  // past a pole
    }
  };
  // Past a pole the scheme refuses or turns back: that end is unbounded.
  const double low = shifted(+1), high = shifted(-1);
  return {low <= k ? low : -INF, high >= k ? high : INF};
}

}  // namespace contribution::effective
