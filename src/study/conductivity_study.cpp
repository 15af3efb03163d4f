// Solving a shape's conduction on a list of grids and extrapolating R and K.
#include "contribution/conductivity_study.h"

#include "study/level_loop.h"

namespace contribution {

namespace {

void extrapolate_levels(ConductivityStudy& study) {
  study.extrapolated = study.levels.size() >= 3;
  if (!study.extrapolated) return;
  std::vector<double> h;
  std::vector<Tensor3> R, K;
  for (const ConductivityStudyLevel& level : study.levels) {
    h.push_back(level.h);
    R.push_back(level.R);
    K.push_back(level.K);
  }
  study.R = extrapolate_tensors(h, R, study.distance_margin);
  study.K = extrapolate_tensors(h, K, study.distance_margin);
}

template <class Problem>
ConductivityStudy run(const std::function<Problem(std::int32_t M)>& at_level, const std::vector<std::int32_t>& M,
                      const SolveOptions& options, const ConductivityStudyObserver& observer) {
  return run_levels(M, observer, ConductivityStudy{}, extrapolate_levels, [&](std::int32_t m, ConductivityStudy& study) {
    const ConductivityResult r = solve_conductivity(at_level(m), options);
    study.crack = r.crack;
    study.formulation = r.formulation;
    study.mean = r.mean;
    study.distance_margin = extrapolation_margin(r.mean);
    return ConductivityStudyLevel{m, r.h, r.R, r.K, r.load_cases, r.conv_flag, r.seconds.total};
  });
}

}  // namespace

double extrapolation_margin(ConductivityMean mean) {
  return mean == ConductivityMean::nodal ? RISING_ORDER_MARGIN : EXTRAPOLATION_MARGIN;
}

ConductivityStudy run_conductivity_study(const std::function<ConductivityProblem(std::int32_t M)>& at_level,
                                         const std::vector<std::int32_t>& M, const SolveOptions& options,
                                         const ConductivityStudyObserver& observer) {
  return run(at_level, M, options, observer);
}

ConductivityStudy run_conductivity_study(const std::function<ConductivityCrackProblem(std::int32_t M)>& at_level,
                                         const std::vector<std::int32_t>& M, const SolveOptions& options,
                                         const ConductivityStudyObserver& observer) {
  return run(at_level, M, options, observer);
}

}  // namespace contribution
