#pragma once
// Grid-refinement studies: a tensor entry computed on grids of step h = 2/M
// at several levels, extrapolated to h = 0 with an error bar that claims the
// converged value lies in [value - error, value + error].
//
// Why not one Richardson step: the staircase boundary of a shape on the grid
// makes the sequence noisy (a sphere's entries scatter by about 0.1 % around
// their trend at M = 40), the order is not always one (a sphere converges
// about as h^1.3 to h^2), sequences may cross the limit and level off (H11
// and H66 of a soft oblate spheroid), and at strong contrast they are
// not even monotone at practical grids. So several models are fitted to all
// levels by least squares and the bar is built from their fits:
//
//   first order      T + A h
//   second order     T + B h^2
//   free order       T + A h^p, p searched in [0.5, 3] (reported; a p at
//                    either end of the range is flagged and counts as fixed)
//   two-term         T + A h + B h^2
//
// 1. Weights. The staircase noise of a level shrinks with its grid step, so
//    level i has weight (h_L / h_i)^2 (h_L the finest step): every fit
//    trusts the fine levels more.
// 2. Noise. The three-parameter fit with the smallest residual is the
//    reference; its residual gives the noise sigma of the finest level,
//    sigma^2 = RSS / (L - 3). (With three levels the best two-parameter fit is
//    the reference, with L - 2 = 1 degree of freedom.)
// 3. Plausible models. A model with fewer parameters than the reference stays
//    plausible unless the F-test rejects it at the 1 % level (the added
//    parameter explains significantly more than noise); a model with as many
//    parameters stays unless its residual variance exceeds the reference's
//    by more than the 1 % point of the F distribution. A fit without
//    residual degrees of freedom (three levels, three parameters) cannot be
//    judged and stays.
// 4. Bar. Each plausible model claims T_k +- kappa sigma g_k, where g_k is
//    how much the fit amplifies a unit noise of the finest level into its
//    intercept (sqrt of the (0, 0) entry of (X^T W X)^-1) and kappa the
//    two-sided 95 % Student t quantile for the reference's degrees of freedom
//    (at most 4.30, its value for two). The extrapolated value is the middle
//    of the union of these intervals and the error its half-width, so the
//    bar covers every plausible model with its noise.
// 5. Floor. However well the models agree, the error is at least a quarter
//    of the distance the extrapolation moved from the finest level (Roache's
//    safety factor 1.25 on an extrapolation, as the margin beyond it), twice
//    that distance when the free order stopped at an end of its range (his
//    factor 3 for an order not confirmed), and at least 64 units of rounding
//    of the largest value.
// An entry that is exactly zero at every level (a symmetry zero) gives 0 +- 0.
//
// Measured on the program's own sequences (docs/study.md): the bar held the
// analytic value in 314 of 318 cases (spheres at six contrasts and a soft
// oblate spheroid, 3 to 17 levels); it is narrow when five or more levels
// span a factor of 2.5 or more in h. It cannot see a limit the sequence has
// not begun to approach: an entry that overshoots and levels off looks
// converged.
//
// Bad input (fewer than three levels, sizes that differ, steps that are not
// positive, finite and strictly decreasing from the coarsest to the finest
// level, non-finite values) throws std::invalid_argument.
#include "contribution/solve.h"
#include "contribution/types.h"

#include <vector>

namespace contribution {

enum class RefinementModel { first_order, second_order, free_order, two_term };

// "T + A h", "T + B h^2", "T + A h^p", "T + A h + B h^2".
const char* describe(RefinementModel model);

// One model fitted to all levels.
struct ModelFit {
  RefinementModel model = RefinementModel::first_order;
  double limit = 0;       // T, the fit at h = 0
  double half_width = 0;  // kappa sigma g: the noise this model carries into T
  double order = 1;       // 1, 2, the fitted p, or 1 for the two-term model
  int parameters = 2;     // 2, or 3 (the free order counts as 2 when p sits at an end of its range)
  double residual_rms = 0;  // sqrt(RSS / (L - parameters)) in units of the finest level; 0 without degrees of freedom
  bool plausible = false;
  // The fitted curve: limit + sum of coefficients[k] h^powers[k], for pictures.
  std::vector<double> powers, coefficients;
};

// The model's fitted value at grid step h.
double evaluate(const ModelFit& fit, double h);

struct Extrapolation {
  double value = 0;  // the extrapolated limit T
  double error = 0;  // the claim: the limit lies in [value - error, value + error]
  double order = 0;  // p of the free-order fit; NaN when the levels show no trend
  bool order_at_bound = false;  // p stopped at 0.5 or 3: the sequence is not in the asymptotic range
  double noise = 0;  // sigma: the reference fit's residual rms at the finest level
  std::vector<ModelFit> models;  // first, second, free order, two-term; empty for an exact zero
};

// The floor of step 5 as a fraction of the distance the extrapolation moved
// from the finest level: Roache's 1.25 less the extrapolation itself, for
// sequences in their asymptotic range.
inline constexpr double EXTRAPOLATION_MARGIN = 0.25;
// Sequences of the coefficient mean (contribution/contrast.h) at strong
// contrast approach the limit with an order that keeps rising under
// refinement (about 1.1 at M = 16 to 1.6 at M = 80 on a void sphere), which
// no fit over the levels can see: every model overshoots the limit, by 0.39
// to 0.41 of the distance moved on void and rigid spheres from levels
// 16...48 and 32...96, and by 0.62 on H11 of a void oblate spheroid
// (docs/study.md). Their floor is three quarters of that distance.
inline constexpr double RISING_ORDER_MARGIN = 0.75;

// h: grid steps from the coarsest to the finest level; values: the entry at each level.
Extrapolation extrapolate(const std::vector<double>& h, const std::vector<double>& values,
                          double distance_margin = EXTRAPOLATION_MARGIN);

// Every entry of a tensor computed at each level (levels[i] at step h[i]).
struct TensorExtrapolation {
  Tensor6 value{}, error{};
  Tensor6 order{};  // per entry; NaN for entries without a trend (symmetry zeros)
  // The order of the diagonal entry of largest magnitude, as the tensor's
  // order of convergence; NaN when every diagonal entry is zero.
  double dominant_order = 0;
};

TensorExtrapolation extrapolate_tensors(const std::vector<double>& h, const std::vector<Tensor6>& levels,
                                        double distance_margin = EXTRAPOLATION_MARGIN);

// The same for 3x3 tensors (conduction, contribution/conductivity_study.h).
struct Tensor3Extrapolation {
  Tensor3 value{}, error{}, order{};
  double dominant_order = 0;
};
Tensor3Extrapolation extrapolate_tensors(const std::vector<double>& h, const std::vector<Tensor3>& levels,
                                         double distance_margin = EXTRAPOLATION_MARGIN);

// ------------------------------------------------ a study through the solver --

// One grid of a study.
struct StudyLevel {
  std::int32_t M = 0;
  double h = 0;
  Tensor6 H{}, N{};  // as the solver returns them (the result's shear order)
  std::vector<LoadCaseStatus> load_cases;
  int conv_flag = 1;
  double elapsed_seconds = 0;
};

struct Study {
  bool crack = false;
  PlanarKernel kernel = PlanarKernel::exact;           // cracks
  Formulation formulation = Formulation::compliance;  // inhomogeneities: the one taken
  FormulationRule formulation_rule = FormulationRule::specified;         // inhomogeneities: as asked
  MeanFieldEstimate mean_field_estimate = MeanFieldEstimate::smoothed;  // inhomogeneities
  ShearOrder shear_order = ShearOrder::yz_xz_xy;
  std::vector<StudyLevel> levels;  // in the order solved: M increasing
  bool extrapolated = false;       // three levels or more
  // The floor the extrapolation took: RISING_ORDER_MARGIN for an
  // inhomogeneity solved with a coefficient or corrected mean.
  double distance_margin = EXTRAPOLATION_MARGIN;
  int shifts = 1;  // solves averaged per level (run_*_study_averaged)
  TensorExtrapolation H, N;        // every entry of H and of N extrapolated to h = 0
};

// Levels must be at least 3 (the rule needs them), strictly increasing and
// each at least 4 intervals; throws InvalidProblem naming what is wrong.
void check_study_levels(const std::vector<std::int32_t>& M);

// What a study reports while it runs. A level's own progress (and its
// cancellation) goes through SolveOptions::progress.
struct StudyObserver {
  std::function<void(std::int32_t M)> level_started;
  std::function<void(const Study&)> level_finished;  // the study so far, extrapolated once it can be
  // Each solve's whole result (one per level, or K with the averaged
  // drivers), before level_finished: with the fields where its problem asked
  // to keep them (keep_field, keep_opening).
  std::function<void(const InhomogeneityResult&)> inhomogeneity_solved;
  std::function<void(const CrackResult&)> crack_solved;
};

// Solves the problem that `at_level` gives for each M, in order, and
// extrapolates H and N. A cancelled level throws Cancelled; the levels
// finished before it were reported through level_finished.
Study run_inhomogeneity_study(const std::function<InhomogeneityProblem(std::int32_t M)>& at_level,
                              const std::vector<std::int32_t>& M, const SolveOptions& options = {},
                              const StudyObserver& observer = {});
Study run_crack_study(const std::function<CrackProblem(std::int32_t M)>& at_level, const std::vector<std::int32_t>& M,
                      const SolveOptions& options = {}, const StudyObserver& observer = {});

// Each level the mean of `count` solves, at_level(M, s) for s = 0 ... count - 1
// (a front end shifts the shape by sub-step offsets, so that the staircase
// scatter from level to level averages out): H and N are the means, each load
// case's iterations the largest, conv_flag the smallest, the seconds the sum.
Study run_inhomogeneity_study_averaged(const std::function<InhomogeneityProblem(std::int32_t M, int s)>& at_level,
                                       int count, const std::vector<std::int32_t>& M, const SolveOptions& options = {},
                                       const StudyObserver& observer = {});
Study run_crack_study_averaged(const std::function<CrackProblem(std::int32_t M, int s)>& at_level, int count,
                               const std::vector<std::int32_t>& M, const SolveOptions& options = {},
                               const StudyObserver& observer = {});

}  // namespace contribution
