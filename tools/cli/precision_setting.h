#pragma once
// The precision a front end solves in, from CONTRIBUTION_PRECISION.
#include "contribution/precision.h"

namespace csolver::cli {

// Unset: mixed, the library's default; "double" or "mixed" as named;
// UsageError for anything else.
contribution::Precision precision_setting(const char* setting);

}  // namespace csolver::cli
