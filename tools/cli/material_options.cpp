#include "cli/material_options.h"

#include "model/checks.h"

#include <cmath>
#include <limits>

namespace csolver::cli {

namespace {
constexpr OptionRule MATERIAL_RULES[] = {
    {"--E0", Kind::number, 1}, {"--n0", Kind::number, 1}, {"--E1", Kind::text, 1},
    {"--n1", Kind::number, 1}, {"--tol", Kind::number, 1},
};

double poisson_ratio(Options& o, const std::string& name, double fallback) {
  const double nu = o.number(name, fallback);
  if (!(nu > -1 && nu < 0.5)) throw UsageError(name + " must lie between -1 and 0.5, got " + format_number(nu));
  return nu;
}

// The library's own check, before an image is read or a grid made.
double young_modulus(Options& o, const std::string& name, double fallback) {
  const double E = o.number(name, fallback);
  const std::string problem = young_modulus_problem(name.c_str(), E);
  if (!problem.empty()) throw UsageError(problem);
  return E;
}

// A text option so that "inf" reads; the other numbers stay finite.
double inhomogeneity_modulus(Options& o, double fallback, bool limits_allowed) {
  const std::optional<std::string> text = o.text("--E1");
  if (!text) return fallback;
  const bool infinite = limits_allowed && (*text == "inf" || *text == "infinity");
  const std::optional<double> value =
      infinite ? std::optional<double>(std::numeric_limits<double>::infinity()) : parse_number(*text);
  if (!value)
    throw UsageError("--E1 takes a number" + std::string(limits_allowed ? " or inf" : "") + ", got '" + *text + "'");
  const std::string problem = young_modulus_problem("--E1", *value, true, limits_allowed);
  if (!problem.empty()) throw UsageError(problem);
  return *value;
}
}  // namespace

std::span<const OptionRule> material_option_rules() { return MATERIAL_RULES; }

MaterialOptions read_materials(Options& o, bool limits_allowed) {
  MaterialOptions m;
  m.E0 = young_modulus(o, "--E0", 1);
  m.n0 = poisson_ratio(o, "--n0", 0.3);
  m.E1_given = o.has("--E1");
  m.E1 = inhomogeneity_modulus(o, m.E0, limits_allowed);
  if (const std::string problem = contrast_problem(m.E0, m.E1); !problem.empty()) throw UsageError(problem);
  m.n1 = poisson_ratio(o, "--n1", m.n0);
  m.tol = o.positive("--tol", 1e-6);
  return m;
}

void require_inhomogeneity_modulus(const MaterialOptions& m) {
  if (!m.E1_given)
    throw UsageError(
        "an inhomogeneity needs --E1, its Young's modulus (for example --E1 10 for a stiff one, --E1 0.01 for a "
        "soft one)");
}

}  // namespace csolver::cli
