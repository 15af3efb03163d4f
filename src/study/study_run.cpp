// Solving a shape on a list of grids and extrapolating its tensors.
#include "contribution/study.h"

#include <string>

namespace contribution {

namespace {

std::vector<LoadCaseStatus> statuses(const auto& load_cases) { return {load_cases.begin(), load_cases.end()}; }

void extrapolate_levels(Study& study) {
  study.extrapolated = study.levels.size() >= 3;
  if (!study.extrapolated) return;
  std::vector<double> h;
  std::vector<Tensor6> H, N;
  for (const StudyLevel& level : study.levels) {
    h.push_back(level.h);
    H.push_back(level.H);
    N.push_back(level.N);
  }
  study.H = extrapolate_tensors(h, H);
  study.N = extrapolate_tensors(h, N);
}

// The shared loop: `solve` solves one level into a StudyLevel and sets the
// study's kind.
template <class Solve>
Study run_levels(const std::vector<std::int32_t>& M, const StudyObserver& observer, Study study, Solve&& solve) {
  check_study_levels(M);
  for (std::int32_t m : M) {
    if (observer.level_started) observer.level_started(m);
    study.levels.push_back(solve(m, study));
    extrapolate_levels(study);
    if (observer.level_finished) observer.level_finished(study);
  }
  return study;
}

}  // namespace

void check_study_levels(const std::vector<std::int32_t>& M) {
  if (M.size() < 3)
    throw InvalidProblem("found " + std::to_string(M.size()) +
                         " grid level(s), expected at least 3 (5 or more give a narrow error bar)");
  for (std::size_t i = 0; i < M.size(); ++i) {
    if (M[i] < 4) throw InvalidProblem("found the level M = " + std::to_string(M[i]) + ", expected M >= 4");
    if (i > 0 && M[i] <= M[i - 1])
      throw InvalidProblem("found M = " + std::to_string(M[i]) + " after M = " + std::to_string(M[i - 1]) +
                           ", expected the levels in increasing order, each once");
  }
}

Study run_inhomogeneity_study(const std::function<InhomogeneityProblem(std::int32_t M)>& at_level,
                              const std::vector<std::int32_t>& M, const SolveOptions& options,
                              const StudyObserver& observer) {
  return run_levels(M, observer, Study{}, [&](std::int32_t m, Study& study) {
    const InhomogeneityResult r = solve_inhomogeneity(at_level(m), options);
    if (observer.inhomogeneity_solved) observer.inhomogeneity_solved(r);
    study.formulation = r.formulation;
    study.shear_order = r.shear_order;
    return StudyLevel{m, r.h, r.H, r.N, statuses(r.load_cases), r.conv_flag, r.seconds.total};
  });
}

Study run_crack_study(const std::function<CrackProblem(std::int32_t M)>& at_level, const std::vector<std::int32_t>& M,
                      const SolveOptions& options, const StudyObserver& observer) {
  Study start;
  start.crack = true;
  return run_levels(M, observer, start, [&](std::int32_t m, Study& study) {
    const CrackResult r = solve_crack(at_level(m), options);
    if (observer.crack_solved) observer.crack_solved(r);
    study.kernel = r.kernel;
    study.shear_order = r.shear_order;
    return StudyLevel{m, r.h, r.H, r.N, statuses(r.load_cases), r.conv_flag, r.seconds.total};
  });
}

}  // namespace contribution
