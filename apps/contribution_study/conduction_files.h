#pragma once
// What contribution_study writes for a conduction study: study.json (every
// level's R and K and their extrapolation, at full precision), study.txt
// (the table the console shows) and study.png (the main entries of R
// against h with their fits).
#include "contribution/conductivity_study.h"

#include <string>

namespace csolver::study_tool {

struct ConductionDescription {
  std::string text;  // the shape
  double k0 = 1, k1 = 1, tol = 1e-6;
};

std::string conduction_json(const ConductionDescription& description, const contribution::ConductivityStudy& study,
                            bool complete);
std::string conduction_text(const ConductionDescription& description, const contribution::ConductivityStudy& study);
// Needs an extrapolated study (three levels or more).
std::string conduction_png(const ConductionDescription& description, const contribution::ConductivityStudy& study);

}  // namespace csolver::study_tool
