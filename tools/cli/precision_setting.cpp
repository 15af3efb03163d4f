#include "cli/precision_setting.h"

#include "cli/command_line.h"

#include <string>

namespace csolver::cli {

contribution::Precision precision_setting(const char* setting) {
  contribution::Precision precision = contribution::Precision::mixed;
  if (setting == nullptr || contribution::parse_precision(setting, precision)) return precision;
  throw UsageError(std::string("found CONTRIBUTION_PRECISION=") + setting + ", expected 'double' or 'mixed'");
}

}  // namespace csolver::cli
