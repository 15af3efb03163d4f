#pragma once
// What contribution_study writes for a conduction study: study.json (every
// level's R and K and their extrapolation, at full precision), study.txt
// (the table the console shows) and study.png (the main entries of R
// against h with their fits).
#include "contribution/conductivity_study.h"

#include <optional>
#include <string>
#include <vector>

namespace csolver::study_tool {

// A crack solved for both physics (--physics both): its elastic H33 beside
// R33 on every level, and their ratio, which is 2 (1 - n0^2) k0 / E0 for
// every crack (the opening and the potential jump solve the same operator).
struct CrossProperty {
  double E0 = 1, n0 = 0.3;
  std::vector<double> H33;               // per level of the conduction study
  contribution::Extrapolation H33_limit;  // extrapolated as R33 is
  contribution::Extrapolation ratio;     // H33 / R33 per level, extrapolated
  double closed_form = 0;
};

struct ConductionDescription {
  std::string text;  // the shape
  double k0 = 1, k1 = 1, tol = 1e-6;
  std::optional<CrossProperty> cross_property;
};

std::string conduction_json(const ConductionDescription& description, const contribution::ConductivityStudy& study,
                            bool complete);
std::string conduction_text(const ConductionDescription& description, const contribution::ConductivityStudy& study);
// Needs an extrapolated study (three levels or more).
std::string conduction_png(const ConductionDescription& description, const contribution::ConductivityStudy& study);

}  // namespace csolver::study_tool
