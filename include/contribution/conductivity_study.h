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
  double distance_margin = EXTRAPOLATION_MARGIN;  // the floor the extrapolation took
  Tensor3Extrapolation R, K;
};

// The extrapolation's floor (contribution/study.h, step 5) for sequences of
// this estimate. The nodal mean of an inhomogeneity approaches its limit
// with an order that keeps rising under refinement, as the elastic
// coefficient mean does: the extrapolation overshoots the closed form by
// 0.32 to 0.38 of the distance it moved from the finest level (R33 of an
// insulating oblate and R11, R33 of a perfectly conducting prolate spheroid,
// levels 64...112; docs/conductivity.md), so it takes RISING_ORDER_MARGIN.
// A crack's smoothed estimate takes EXTRAPOLATION_MARGIN.
double extrapolation_margin(ConductivityMean mean);

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
