#pragma once
// The loop every study shares, whatever it solves: each level in turn,
// extrapolated as soon as it can be, reported to the observer.
#include "contribution/study.h"

#include <cstdint>
#include <vector>

namespace contribution {

// `solve` solves one level into the study's level record (and may set the
// study's kind); `extrapolate` refreshes the study's extrapolation.
template <class StudyT, class Observer, class Extrapolate, class Solve>
StudyT run_levels(const std::vector<std::int32_t>& M, const Observer& observer, StudyT study, Extrapolate&& extrapolate,
                  Solve&& solve) {
  check_study_levels(M);
  for (std::int32_t m : M) {
    if (observer.level_started) observer.level_started(m);
    study.levels.push_back(solve(m, study));
    extrapolate(study);
    if (observer.level_finished) observer.level_finished(study);
  }
  return study;
}

}  // namespace contribution
