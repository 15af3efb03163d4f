#pragma once
// --formulation and --mean-field: how the front ends that solve
// inhomogeneities take the contrast (contribution/contrast.h).
#include "cli/command_line.h"
#include "contribution/contrast.h"

#include <span>

namespace csolver::cli {

std::span<const OptionRule> contrast_option_rules();

struct ContrastOptions {
  contribution::FormulationRule formulation_rule = contribution::RECOMMENDED_FORMULATION_RULE;
  contribution::MeanFieldEstimate mean_field_estimate = contribution::RECOMMENDED_MEAN_FIELD_ESTIMATE;
};

// The measured recommendation unless the options name another choice.
ContrastOptions read_contrast(Options& o);

// A fixed formulation whose contrast is infinite for this E1 (compliance for
// a void, stiffness for a rigid inclusion) is refused before any work.
void check_contrast(const ContrastOptions& c, double E1);

// The help lines of both options.
const char* contrast_help();

}  // namespace csolver::cli
