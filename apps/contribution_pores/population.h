#pragma once
// The pores of one image: labelled, measured, filtered, each laid onto its
// own grid and solved through the library. Rank 0 (or a serial run) holds the
// population and builds tasks; whoever solves needs only the task.
#include "contribution_pores/options.h"
#include "contribution/study.h"
#include "contribution_pores/pore_result.h"
#include "images/pore_labels.h"
#include "images/pore_properties.h"

#include <array>
#include <csignal>
#include <cstdint>
#include <string>
#include <vector>

namespace csolver::pores {

struct Population {
  std::int32_t nx = 0, ny = 0, nz = 0;
  std::int64_t pore_voxels = 0;  // inside voxels of the image
  std::uint32_t mask_crc = 0;    // CRC-32 of the inside flags: the image's identity in the journal
  image::Labels labels;
  image::FilteredPores selection;  // kept in label order
};

// Labels and filters the image's pores. The mask is released once labelled.
Population analyse_image(image::Mask mask, const PoresOptions& options);

// What a solving process needs for one pore.
struct SolveSettings {
  cli::MaterialOptions materials;
  int threads = 0;
  bool measure_plans = true;
  cli::ContrastOptions contrast;
  contribution::Precision precision = contribution::Precision::mixed;
};

struct PoreTask {
  std::size_t index = 0;  // slot among the kept pores
  std::uint32_t label = 0;
  std::int32_t M = 0;  // the finest grid
  // The grids solved, M increasing: {M} for one grid, the ladder otherwise.
  std::vector<std::int32_t> levels;
  // (M_i + 1)^3 per level, one level after the other, 1 inside the pore.
  std::vector<std::int32_t> flags;
  std::string failure;              // non-empty: the grid could not be made
};

// The pore's grids: the ladder, --M, or the density --nodes-per-voxel (at least SMALLEST_M).
PoreTask build_task(const Population& population, const PoresOptions& options, std::size_t index);

// The grids a task is solved on (levels, or {M}) and each one's (M_i + 1)^3
// flags; throws std::runtime_error when the task's flags fall short.
std::vector<std::int32_t> task_levels(const PoreTask& task);
std::vector<std::int32_t> level_flags(const PoreTask& task, std::size_t level);

// One level of a task solved through the library, with the level's own
// outcome: a cancelled or failed level makes the pore so.
struct LevelOutcome {
  PoreStatus status = PoreStatus::failed;
  std::string message;
  double h = 0;
  contribution::Tensor6 H{}, N{};  // rows and columns 11, 22, 33, 23, 13, 12
  std::array<int, 6> iterations{};
  int conv_flag = 1, symmetry_flag = 1;
  double margin = contribution::EXTRAPOLATION_MARGIN;  // the study's floor for the estimate taken
  std::int64_t flagged_nodes = 0;
  double seconds = 0;
};
// Never throws for the solve's own failures (memory, an empty grid, a stop).
LevelOutcome solve_level(const PoreTask& task, std::size_t level, const SolveSettings& settings,
                         const volatile std::sig_atomic_t* stop);
// The pore's result from its levels in order: a cancelled level makes it
// cancelled, else the first level not solved makes it failed, else every
// level is extrapolated.
PoreResult combine_levels(const PoreTask& task, const std::vector<LevelOutcome>& outcomes);

// Solves one task through the library: each level, then (three levels or
// more) every entry of H and N extrapolated to h = 0 with the refinement
// study's rule and its margin for the mean-field estimate taken. `stop` is polled between iterations:
// once it is set the solve ends with status cancelled. A pore that cannot be
// solved (memory, an empty grid) gives status failed, not an exception.
PoreResult solve_task(const PoreTask& task, const SolveSettings& settings, const volatile std::sig_atomic_t* stop);

// A pore's tensor from its levels (h: their grid steps): on three levels or
// more every entry extrapolated to h = 0 with the refinement study's rule
// and `margin`, with its bar; on fewer the finest level's, without a bar.
template <class Tensor>
struct LadderValue {
  Tensor value{}, error{};
};
template <class Tensor>
LadderValue<Tensor> ladder_value(const std::vector<double>& h, const std::vector<Tensor>& levels, double margin) {
  if (levels.size() < 3) return {levels.back(), Tensor{}};
  const auto extrapolated = contribution::extrapolate_tensors(h, levels, margin);
  return {extrapolated.value, extrapolated.error};
}

// A failed result for a task whose grid could not be made.
PoreResult failed_result(const PoreTask& task);

// The order pores are handed out: largest first (by voxels; equal sizes by
// label), so that the longest solves do not come last and keep one worker
// busy while the others wait.
std::vector<std::size_t> largest_first(const Population& population, const std::vector<bool>& done);

}  // namespace csolver::pores
