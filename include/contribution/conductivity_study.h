#pragma once
// Grid-refinement studies of conduction: R and K of one shape computed on
// several grids and every entry extrapolated to h = 0 by the rule of
// contribution/study.h (several fitted models, an error bar covering the
// plausible ones).
#include "contribution/conductivity.h"
#include "contribution/study.h"

#include <functional>
#include <vector>

namespace contribution {

struct ConductivityStudyLevel {
  std::int32_t M = 0;
  double h = 0;
  Tensor3 R{}, K{};
  std::vector<LoadCaseStatus> load_cases;
  int conv_flag = 1;
  double elapsed_seconds = 0;
};

struct ConductivityStudy {
  bool crack = false;
  ConductivityFormulation formulation = ConductivityFormulation::field;
  ConductivityMean mean = ConductivityMean::nodal;
  std::vector<ConductivityStudyLevel> levels;  // M increasing
  bool extrapolated = false;                   // three levels or more
  Tensor3Extrapolation R, K;
};

struct ConductivityStudyObserver {
  std::function<void(std::int32_t M)> level_started;
  std::function<void(const ConductivityStudy&)> level_finished;
};

// Levels as check_study_levels requires. A cancelled level throws Cancelled.
ConductivityStudy run_conductivity_study(const std::function<ConductivityProblem(std::int32_t M)>& at_level,
                                         const std::vector<std::int32_t>& M, const SolveOptions& options = {},
                                         const ConductivityStudyObserver& observer = {});
ConductivityStudy run_conductivity_study(const std::function<ConductivityCrackProblem(std::int32_t M)>& at_level,
                                         const std::vector<std::int32_t>& M, const SolveOptions& options = {},
                                         const ConductivityStudyObserver& observer = {});

}  // namespace contribution
