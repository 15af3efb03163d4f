#include "contribution_pores/population.h"

#include "contribution/errors.h"
#include "contribution/solve.h"
#include "contribution/study.h"
#include "contribution_solver/clock.h"
#include "images/pore_grid.h"
#include "images/pore_sampling.h"
#include "system/memory.h"

#include <zlib.h>

#include <algorithm>
#include <new>
#include <numeric>

namespace csolver::pores {

namespace {

std::uint32_t crc_of(const std::vector<std::uint8_t>& bytes) {
  uLong crc = crc32(0L, Z_NULL, 0);
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto chunk = static_cast<uInt>(std::min<std::size_t>(bytes.size() - at, 1u << 30));
    crc = crc32(crc, bytes.data() + at, chunk);
    at += chunk;
  }
  return static_cast<std::uint32_t>(crc);
}

}  // namespace

Population analyse_image(image::Mask mask, const PoresOptions& options) {
  Population p;
  p.nx = mask.nx;
  p.ny = mask.ny;
  p.nz = mask.nz;
  // Masks read from any file hold 0 or 1, so the CRC names the voxel set.
  for (std::uint8_t& v : mask.inside) {
    v = v != 0 ? 1 : 0;
    p.pore_voxels += v;
  }
  p.mask_crc = crc_of(mask.inside);
  p.labels = image::label_pores(mask, options.connectivity);
  mask = image::Mask();
  p.selection = image::select_pores(p.labels, options.placement.voxel_size, options.filter);
  return p;
}

PoreTask build_task(const Population& population, const PoresOptions& options, std::size_t index) {
  const image::PoreProperties& pore = population.selection.kept.at(index);
  PoreTask task;
  task.index = index;
  task.label = pore.label;
  try {
    if (!options.ladder.empty()) {
      task.levels = options.ladder;
    } else {
      std::int32_t M = options.M;
      if (M == 0) M = std::max(SMALLEST_M, image::intervals_for(pore, options.nodes_per_voxel, options.placement));
      task.levels = {M};
    }
    task.M = task.levels.back();
    if (task.M > LARGEST_M)
      throw image::ImageError("it needs M = " + std::to_string(task.M) + " at " + cli::format_number(options.nodes_per_voxel) +
                              " nodes per voxel, above the largest grid (M = " + std::to_string(LARGEST_M) + ")");
    std::size_t nodes = 0;
    for (std::int32_t M : task.levels) nodes += static_cast<std::size_t>(M + 1) * (M + 1) * (M + 1);
    require_physical_memory(nodes * sizeof(std::int32_t) * 2, "the pore's grid");
    for (std::int32_t M : task.levels) {
      image::PoreGrid grid = options.sampling == image::PoreSampling::smooth
                                 ? image::smooth_pore_grid(population.labels, pore, M, options.placement)
                                 : image::pore_grid(population.labels, pore, M, options.placement);
      task.flags.insert(task.flags.end(), grid.flags.begin(), grid.flags.end());
    }
  } catch (const std::bad_alloc&) {
    task.failure = "out of memory for its grid";
  } catch (const std::exception& e) {
    task.failure = e.what();
  }
  return task;
}

std::vector<std::int32_t> task_levels(const PoreTask& task) {
  return task.levels.empty() ? std::vector<std::int32_t>{task.M} : task.levels;
}

std::vector<std::int32_t> level_flags(const PoreTask& task, std::size_t level) {
  const std::vector<std::int32_t> levels = task_levels(task);
  std::size_t at = 0;
  for (std::size_t i = 0; i <= level && i < levels.size(); ++i) {
    const std::size_t n = static_cast<std::size_t>(levels[i] + 1) * (levels[i] + 1) * (levels[i] + 1);
    if (at + n > task.flags.size()) throw std::runtime_error("the task's grids are incomplete");
    if (i == level)
      return {task.flags.begin() + static_cast<std::ptrdiff_t>(at), task.flags.begin() + static_cast<std::ptrdiff_t>(at + n)};
    at += n;
  }
  throw std::runtime_error("the task has no level " + std::to_string(level));
}

PoreResult failed_result(const PoreTask& task) {
  PoreResult r;
  r.index = task.index;
  r.label = task.label;
  r.M = task.M;
  r.status = PoreStatus::failed;
  r.message = task.failure;
  return r;
}

LevelOutcome solve_level(const PoreTask& task, std::size_t level, const SolveSettings& settings,
                         const volatile std::sig_atomic_t* stop) {
  LevelOutcome o;
  const double start = monotonic_seconds();
  try {
    contribution::SolveOptions solve;
    solve.threads = settings.threads;
    solve.measure_plans = settings.measure_plans;
    solve.machine_memory_bytes = physical_memory_bytes();
    solve.precision = settings.precision;
    solve.progress = [stop](const contribution::ProgressEvent&) { return stop == nullptr || *stop == 0; };

    contribution::InhomogeneityProblem problem;
    problem.matrix = {settings.materials.E0, settings.materials.n0};
    problem.inhomogeneity = {settings.materials.E1, settings.materials.n1};
    problem.nodes_per_axis = task_levels(task).at(level) + 1;
    problem.flags = level_flags(task, level);
    problem.tol = settings.materials.tol;
    problem.formulation_rule = settings.contrast.formulation_rule;
    problem.mean_field_estimate = settings.contrast.mean_field_estimate;
    for (std::int32_t f : problem.flags) o.flagged_nodes += f == 1 ? 1 : 0;
    const contribution::InhomogeneityResult result = contribution::solve_inhomogeneity(std::move(problem), solve);
    o.h = result.h;
    o.H = contribution::in_yz_xz_xy_order(result.H, result.shear_order);
    o.N = contribution::in_yz_xz_xy_order(result.N, result.shear_order);
    // The study's floor for the estimate taken: coefficient-mean sequences
    // approach with a rising order that no fit over the levels sees.
    o.margin = result.mean_field_estimate == contribution::MeanFieldEstimate::smoothed ? contribution::EXTRAPOLATION_MARGIN
                                                                                      : contribution::RISING_ORDER_MARGIN;
    for (std::size_t lc = 0; lc < 6; ++lc) o.iterations[lc] = result.load_cases[lc].iterations;
    o.conv_flag = result.conv_flag;
    o.symmetry_flag = result.symmetry_flag;
    o.status = PoreStatus::solved;
  } catch (const contribution::Cancelled&) {
    o.status = PoreStatus::cancelled;
  } catch (const std::bad_alloc&) {
    o.status = PoreStatus::failed;
    o.message = "out of memory";
  } catch (const std::exception& e) {
    o.status = PoreStatus::failed;
    o.message = e.what();
  }
  o.seconds = monotonic_seconds() - start;
  return o;
}

PoreResult combine_levels(const PoreTask& task, const std::vector<LevelOutcome>& outcomes) {
  if (!task.failure.empty()) return failed_result(task);
  PoreResult r;
  r.index = task.index;
  r.label = task.label;
  r.M = task.M;
  for (const LevelOutcome& o : outcomes) r.seconds += o.seconds;
  // A cancelled level cancels the pore, whichever level came first (side
  // by side, a failed finest level may be in before a cancelled coarse one).
  for (const LevelOutcome& o : outcomes)
    if (o.status == PoreStatus::cancelled) {
      r.status = PoreStatus::cancelled;
      return r;
    }
  for (const LevelOutcome& o : outcomes)
    if (o.status != PoreStatus::solved) {
      r.status = o.status;
      r.message = o.message;
      return r;
    }
  const std::vector<std::int32_t> levels = task_levels(task);
  if (outcomes.size() != levels.size()) throw std::logic_error("a pore's levels combined before all were solved");
  r.levels = task.levels.size() > 1 ? task.levels : std::vector<std::int32_t>{};
  std::vector<double> h;
  std::vector<contribution::Tensor6> H, N;
  r.conv_flag = 1;
  r.symmetry_flag = 1;
  for (const LevelOutcome& o : outcomes) {
    h.push_back(o.h);
    H.push_back(o.H);
    N.push_back(o.N);
    // Each load case's iterations: the most any level took.
    for (std::size_t lc = 0; lc < 6; ++lc) r.iterations[lc] = std::max(r.iterations[lc], o.iterations[lc]);
    r.conv_flag = std::min(r.conv_flag, o.conv_flag);
    r.symmetry_flag = std::min(r.symmetry_flag, o.symmetry_flag);
  }
  r.flagged_nodes = outcomes.back().flagged_nodes;  // of the finest grid, the one named by M
  try {
    const double margin = outcomes.back().margin;
    const LadderValue<contribution::Tensor6> eH = ladder_value(h, H, margin);
    r.H = eH.value;
    r.H_error = eH.error;
    r.N = ladder_value(h, N, margin).value;
    r.status = PoreStatus::solved;
  } catch (const std::exception& e) {
    r.status = PoreStatus::failed;
    r.message = e.what();
  }
  return r;
}

PoreResult solve_task(const PoreTask& task, const SolveSettings& settings, const volatile std::sig_atomic_t* stop) {
  if (!task.failure.empty()) return failed_result(task);
  std::vector<LevelOutcome> outcomes;
  const std::size_t levels = task_levels(task).size();
  for (std::size_t level = 0; level < levels; ++level) {
    outcomes.push_back(solve_level(task, level, settings, stop));
    if (outcomes.back().status != PoreStatus::solved) break;
  }
  return combine_levels(task, outcomes);
}

std::vector<std::size_t> largest_first(const Population& population, const std::vector<bool>& done) {
  const std::vector<image::PoreProperties>& kept = population.selection.kept;
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < kept.size(); ++i)
    if (!done[i]) order.push_back(i);
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return kept[a].voxels > kept[b].voxels; });
  return order;
}

}  // namespace csolver::pores
