#pragma once
// How an inhomogeneity's contrast enters the discrete problem, as options of
// the library (docs/validation.md measures them).
//
// The method solves for one field over the inhomogeneity: under the
// stiffness formulation the polarization dC eps (contrast dC = C1 - C0), under
// the compliance formulation its dual dS sigma (dS = S1 - S0). dC stays
// bounded as E1 -> 0 (dC -> -C0) and dS as E1 -> infinity (dS -> -S0); the
// other one grows without bound and so does the iteration count.
#include <optional>
#include <string_view>

namespace contribution {

// Which formulation a solve takes.
//   specified:  stiffness for E1/E0 > 1, compliance otherwise: the console
//               program's rule. For E1 = 0 or E1 = infinity its contrast is
//               infinite, so those two take the bounded formulation.
//   bounded:    the opposite: compliance for E1/E0 > 1, stiffness otherwise,
//               so the contrast stays bounded at every E1 including 0 and
//               infinity (iterations nearly flat in the contrast).
//   stiffness, compliance: that formulation at every finite contrast
//               (stiffness needs E1 < infinity, compliance E1 > 0).
enum class FormulationRule { specified, bounded, stiffness, compliance };

// How the mean of the solved field over the inhomogeneity is estimated.
//   smoothed:    the field evaluated at the flagged nodes (the Gaussian sum
//                of the coefficients) and averaged there: the console
//                program's estimate. It loses the Gaussians' tails outside
//                the flagged nodes (about -17 % at weak contrast, M = 24).
//   coefficient: the mean of the solved nodal coefficients over the flagged
//                nodes: the integral of the approximated field (h^3 times the
//                sum of coefficients) over the flagged nodes' volume. Exact to
//                first order in the contrast.
//   corrected:   the coefficient mean with the interaction among the
//                flagged nodes rescaled by the fraction a of the Gaussian
//                sum of the flagged nodes that falls on flagged nodes:
//                m_c = (I - (I - m^-1) / a)^-1 for the coefficient mean m.
enum class MeanFieldEstimate { smoothed, coefficient, corrected };

// The choice the study, pores and Python front ends take unless told
// otherwise, by measurement over E1/E0 from 0 to infinity on spheres and
// spheroids (docs/validation.md): the bounded formulation converges in 4-20
// iterations at every contrast (the specified rule needs up to 100 at strong
// contrast), and with the coefficient mean its sequences are monotone and
// smooth in h, which extrapolation needs.
inline constexpr FormulationRule RECOMMENDED_FORMULATION_RULE = FormulationRule::bounded;
inline constexpr MeanFieldEstimate RECOMMENDED_MEAN_FIELD_ESTIMATE = MeanFieldEstimate::coefficient;

const char* describe(FormulationRule rule);     // "specified", "bounded", "stiffness", "compliance"
const char* describe(MeanFieldEstimate estimate);  // "smoothed", "coefficient", "corrected"
std::optional<FormulationRule> parse_formulation_rule(std::string_view name);
std::optional<MeanFieldEstimate> parse_mean_field_estimate(std::string_view name);

}  // namespace contribution
