#pragma once
// --E0 --n0 --E1 --n1 --tol, shared by the front ends that solve or write
// problems.
#include "cli/command_line.h"

#include <span>

namespace csolver::cli {

std::span<const OptionRule> material_option_rules();

struct MaterialOptions {
  double E0 = 1, n0 = 0.3;
  double E1 = 1, n1 = 0.3;  // E1 defaults to E0 and n1 to n0
  bool E1_given = false;    // an inhomogeneity needs it: no contrast is ever defaulted
  double tol = 1e-6;
};

// Checks each value: moduli positive, Poisson's ratios in (-1, 0.5), tol > 0.
// With limits_allowed, --E1 may also be 0 (a void) or inf (a rigid inclusion).
MaterialOptions read_materials(Options& o, bool limits_allowed = false);

// Throws UsageError unless --E1 was given: for an inhomogeneity.
void require_inhomogeneity_modulus(const MaterialOptions& m);

}  // namespace csolver::cli
