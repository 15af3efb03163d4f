// Solving a shape on a list of grids and extrapolating its tensors.
#include "contribution/study.h"

#include "study/level_loop.h"

#include <algorithm>
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
  study.H = extrapolate_tensors(h, H, study.distance_margin);
  study.N = extrapolate_tensors(h, N, study.distance_margin);
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

namespace {

// The mean of the solves of one level.
void add_solve(StudyLevel& level, const StudyLevel& solve, int count) {
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) {
      level.H[r][c] += solve.H[r][c] / count;
      level.N[r][c] += solve.N[r][c] / count;
    }
  if (level.load_cases.empty()) level.load_cases = solve.load_cases;
  for (std::size_t lc = 0; lc < level.load_cases.size(); ++lc) {
    LoadCaseStatus& kept = level.load_cases[lc];
    const LoadCaseStatus& s = solve.load_cases[lc];
    kept.iterations = std::max(kept.iterations, s.iterations);
    kept.error = std::max(kept.error, s.error);
    kept.converged = kept.converged && s.converged;
  }
  level.conv_flag = std::min(level.conv_flag, solve.conv_flag);
  level.elapsed_seconds += solve.elapsed_seconds;
}

void check_count(int count) {
  if (count < 1) throw InvalidProblem("found " + std::to_string(count) + " solves per level, expected at least 1");
}

}  // namespace

Study run_inhomogeneity_study_averaged(const std::function<InhomogeneityProblem(std::int32_t M, int s)>& at_level,
                                       int count, const std::vector<std::int32_t>& M, const SolveOptions& options,
                                       const StudyObserver& observer) {
  check_count(count);
  Study start;
  start.shifts = count;
  return run_levels(M, observer, start, extrapolate_levels, [&](std::int32_t m, Study& study) {
    StudyLevel level{m, 0, {}, {}, {}, 1, 0};
    for (int s = 0; s < count; ++s) {
      const InhomogeneityResult r = solve_inhomogeneity(at_level(m, s), options);
      if (observer.inhomogeneity_solved) observer.inhomogeneity_solved(r);
      study.formulation = r.formulation;
      study.formulation_rule = r.formulation_rule;
      study.mean_field_estimate = r.mean_field_estimate;
      study.distance_margin =
          r.mean_field_estimate == MeanFieldEstimate::smoothed ? EXTRAPOLATION_MARGIN : RISING_ORDER_MARGIN;
      study.shear_order = r.shear_order;
      level.h = r.h;
      add_solve(level, StudyLevel{m, r.h, r.H, r.N, statuses(r.load_cases), r.conv_flag, r.seconds.total}, count);
    }
    return level;
  });
}

Study run_crack_study_averaged(const std::function<CrackProblem(std::int32_t M, int s)>& at_level, int count,
                               const std::vector<std::int32_t>& M, const SolveOptions& options,
                               const StudyObserver& observer) {
  check_count(count);
  Study start;
  start.crack = true;
  start.shifts = count;
  return run_levels(M, observer, start, extrapolate_levels, [&](std::int32_t m, Study& study) {
    StudyLevel level{m, 0, {}, {}, {}, 1, 0};
    for (int s = 0; s < count; ++s) {
      const CrackResult r = solve_crack(at_level(m, s), options);
      if (observer.crack_solved) observer.crack_solved(r);
      study.kernel = r.kernel;
      study.shear_order = r.shear_order;
      level.h = r.h;
      add_solve(level, StudyLevel{m, r.h, r.H, r.N, statuses(r.load_cases), r.conv_flag, r.seconds.total}, count);
    }
    return level;
  });
}

// One solve per level: the averaged driver with a count of one (adding to
// zero and dividing by one leave the values exact).
Study run_inhomogeneity_study(const std::function<InhomogeneityProblem(std::int32_t M)>& at_level,
                              const std::vector<std::int32_t>& M, const SolveOptions& options,
                              const StudyObserver& observer) {
  return run_inhomogeneity_study_averaged([&](std::int32_t m, int) { return at_level(m); }, 1, M, options, observer);
}

Study run_crack_study(const std::function<CrackProblem(std::int32_t M)>& at_level, const std::vector<std::int32_t>& M,
                      const SolveOptions& options, const StudyObserver& observer) {
  return run_crack_study_averaged([&](std::int32_t m, int) { return at_level(m); }, 1, M, options, observer);
}

}  // namespace contribution
