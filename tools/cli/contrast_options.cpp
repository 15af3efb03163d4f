#include "cli/contrast_options.h"

#include <cmath>
#include <string>

namespace csolver::cli {

namespace {
constexpr OptionRule CONTRAST_RULES[] = {{"--formulation", Kind::text, 1}, {"--mean-field", Kind::text, 1}};
}

std::span<const OptionRule> contrast_option_rules() { return CONTRAST_RULES; }

ContrastOptions read_contrast(Options& o) {
  ContrastOptions c;
  if (const auto text = o.text("--formulation")) {
    const auto rule = contribution::parse_formulation_rule(*text);
    if (!rule)
      throw UsageError("--formulation takes bounded, specified, stiffness or compliance, got '" + *text + "'");
    c.formulation_rule = *rule;
  }
  if (const auto text = o.text("--mean-field")) {
    const auto estimate = contribution::parse_mean_field_estimate(*text);
    if (!estimate) throw UsageError("--mean-field takes coefficient, smoothed or corrected, got '" + *text + "'");
    c.mean_field_estimate = *estimate;
  }
  return c;
}

void check_contrast(const ContrastOptions& c, double E1) {
  using contribution::FormulationRule;
  if (c.formulation_rule == FormulationRule::compliance && E1 == 0)
    throw UsageError("a void (--E1 0) has an infinite compliance contrast: use --formulation bounded or stiffness");
  if (c.formulation_rule == FormulationRule::stiffness && std::isinf(E1))
    throw UsageError(
        "a rigid inclusion (--E1 inf) has an infinite stiffness contrast: use --formulation bounded or compliance");
}

const char* contrast_help() {
  return R"(  --formulation F  bounded (default: contrast bounded at every E1, few iterations),
                   specified (the console program's rule), stiffness or compliance
  --mean-field A   coefficient (default: mean of the solved coefficients), smoothed
                   (the console program's), or corrected (docs/validation.md)
)";
}

}  // namespace csolver::cli
