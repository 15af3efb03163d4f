#include "api/pipeline.h"

#include "api/memory_estimate.h"
#include "numlib/thread_count.h"
#include "contribution/errors.h"
#include "kernels/planar_kernel.h"
#include "kernels/volume_kernel.h"
#include "solver/crack_solver.h"

#include <chrono>
#include <optional>

namespace csolver {

namespace {

using contribution::InvalidProblem;

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Copies a load case's openings (three per sub-grid node) into the plane.
void keep_opening(const BoxBounds& b, std::int32_t N, int lc, std::span<const double> opening,
                  std::vector<double>& plane) {
  const auto n = static_cast<std::size_t>(N);
  for (std::int32_t j = 0; j < b.ny; ++j)
    for (std::int32_t i = 0; i < b.nx; ++i) {
      const std::size_t node = static_cast<std::size_t>(i) + static_cast<std::size_t>(b.nx) * static_cast<std::size_t>(j);
      for (std::size_t c = 0; c < CRACK_COMPONENTS; ++c) {
        const std::size_t at = ((static_cast<std::size_t>(lc - 1) * CRACK_COMPONENTS + c) * n +
                                static_cast<std::size_t>(b.iy0 + j)) * n + static_cast<std::size_t>(b.ix0 + i);
        plane[at] = opening[CRACK_COMPONENTS * node + c];
      }
    }
}

// Where component c of the solver's order goes in the standard order 11, 22,
// 33, 23, 13, 12: the compliance formulation solves for 12 before 23.
std::size_t standard_slot(Formulation formulation, int c) {
  if (formulation == Formulation::compliance && (c == 3 || c == 5)) return static_cast<std::size_t>(8 - c);
  return static_cast<std::size_t>(c);
}

// Copies a load case's field (six components per box node) into the grid.
void keep_field(const BoxBounds& b, std::int32_t N, Formulation formulation, int lc, std::span<const double> field,
                std::vector<double>& grid) {
  const auto n = static_cast<std::size_t>(N);
  const std::size_t load = standard_slot(formulation, lc);
  std::size_t node = 0;
  for (std::int32_t k = 0; k < b.nz; ++k)
    for (std::int32_t j = 0; j < b.ny; ++j)
      for (std::int32_t i = 0; i < b.nx; ++i, ++node)
        for (int c = 0; c < VOLUME_COMPONENTS; ++c) {
          const std::size_t at =
              (((load * VOLUME_COMPONENTS + standard_slot(formulation, c)) * n + static_cast<std::size_t>(b.iz0 + k)) * n +
               static_cast<std::size_t>(b.iy0 + j)) * n + static_cast<std::size_t>(b.ix0 + i);
          grid[at] = field[VOLUME_COMPONENTS * node + static_cast<std::size_t>(c)];
        }
}

std::size_t field_bytes(std::int32_t N) {
  const auto n = static_cast<std::size_t>(N);
  return VOLUME_COMPONENTS * VOLUME_COMPONENTS * n * n * n * sizeof(double);
}

bool inside_grid(std::int32_t offset, std::int32_t extent, std::int32_t N) {
  return offset >= 0 && extent >= 1 && offset + extent <= N;
}

}  // namespace

// An empty set of flagged nodes, or coordinates far off the regular grid,
// would give a box outside the node table.
void check_bounds(const BoxBounds& b, const NodeTable& nodes, bool crack) {
  if (b.nx < 1 || b.ny < 1 || b.nz < 1)
    throw InvalidProblem(crack ? "no node is flagged 1: the crack is empty"
                               : "no node is flagged 1: the inhomogeneity is empty");
  if (!inside_grid(b.ix0, b.nx, nodes.N) || !inside_grid(b.iy0, b.ny, nodes.N) || !inside_grid(b.iz0, b.nz, nodes.N))
    throw InvalidProblem(
        "the flagged nodes' coordinates do not lie on the grid over [-1, 1]^3 that M defines "
        "(node (i, j, k) at -1 + (i-1)h, -1 + (j-1)h, -1 + (k-1)h)");
}

void check_memory(std::size_t bytes, const RunOptions& options, const char* what) {
  if (options.machine_memory_bytes > 0) require_memory(bytes, options.machine_memory_bytes, what);
}

InhomogeneityRun run_inhomogeneity(ProblemSetup setup, NodeTable nodes, const Progress& progress,
                                   const RunOptions& options) {
  const ScopedThreadCount team(options.threads);
  const auto start = std::chrono::steady_clock::now();
  InhomogeneityRun run;
  run.bounds = inhomogeneity_bounds(nodes, setup.h);
  check_bounds(run.bounds, nodes, false);
  setup.formulation = choose_formulation(setup.formulation_rule, setup.E1, setup.E0);
  const bool mixed = options.precision == contribution::Precision::mixed;
  const std::int32_t N = nodes.N;
  const std::size_t kept = options.keep_field ? field_bytes(N) : 0;
  check_memory(inhomogeneity_solver_bytes(run.bounds, SpectrumLayout::octant, options.threads, mixed, options.padding) + kept, options,
               "the solver for this inhomogeneity's box");
  const Box box = build_box(setup, nodes, run.bounds);
  nodes = NodeTable();  // the full table and the solver's arrays never coexist
  if (options.keep_field) run.field.assign(kept / sizeof(double), 0.0);
  const std::vector<AxisParities> symmetry = volume_kernel_symmetry(setup.formulation, box);
  if (symmetry.empty())  // coordinates off the regular grid: the larger half spectrum
    check_memory(inhomogeneity_solver_bytes(run.bounds, SpectrumLayout::half_spectrum, options.threads, mixed, options.padding) + kept,
                 options, "the solver for this inhomogeneity's box");
  run.seconds.setup = seconds_since(start);

  const auto kernel_start = std::chrono::steady_clock::now();
  PaddedConvolution conv(run.bounds.extents(3), VOLUME_ENTRIES + 1, VOLUME_COMPONENTS, options.effort,
                         options.threads, symmetry, options.padding);
  run.convolution = conv.layout();
  build_volume_kernel(setup, box, conv);
  std::optional<SinglePaddedConvolution> single;
  if (mixed) single.emplace(conv, options.effort);
  run.precision = options.precision;
  run.seconds.kernel = seconds_since(kernel_start);
  progress.ready();

  const auto solve_start = std::chrono::steady_clock::now();
  FieldSink sink;
  if (options.keep_field)
    sink = [&](int lc, std::span<const double> field) { keep_field(run.bounds, N, setup.formulation, lc, field, run.field); };
  run.solution = solve_load_cases(setup, box, conv, progress, sink, single ? &*single : nullptr);
  run.seconds.solve = seconds_since(solve_start);
  run.tensors = compute_contribution_tensors(setup, run.solution.mean_field);
  run.setup = std::move(setup);
  run.seconds.total = seconds_since(start);
  return run;
}

CrackRun run_crack(const ProblemSetup& setup, NodeTable nodes, const Progress& progress, const RunOptions& options) {
  const ScopedThreadCount team(options.threads);
  const auto start = std::chrono::steady_clock::now();
  CrackRun run;
  run.bounds = crack_bounds(nodes, setup.h);
  check_bounds(run.bounds, nodes, true);
  const bool mixed = options.precision == contribution::Precision::mixed;
  check_memory(crack_solver_bytes(run.bounds, SpectrumLayout::octant, options.threads, mixed, options.padding), options,
               "the solver for this crack");
  const CrackGrid grid = build_crack_grid(nodes, run.bounds);
  const std::int32_t N = nodes.N;
  nodes = NodeTable();
  if (options.keep_opening)
    run.opening.assign(3 * CRACK_COMPONENTS * static_cast<std::size_t>(N) * static_cast<std::size_t>(N), 0.0);
  const std::vector<AxisParities> symmetry = planar_kernel_symmetry(grid);
  if (symmetry.empty())
    check_memory(crack_solver_bytes(run.bounds, SpectrumLayout::half_spectrum, options.threads, mixed, options.padding), options,
                 "the solver for this crack");
  run.seconds.setup = seconds_since(start);

  const auto kernel_start = std::chrono::steady_clock::now();
  PaddedConvolution conv(run.bounds.extents(2), PLANAR_KERNELS, CRACK_COMPONENTS, options.effort, options.threads,
                         symmetry, options.padding);
  run.convolution = conv.layout();
  build_planar_kernel(setup, grid, options.kernel, conv);
  std::optional<SinglePaddedConvolution> single;
  std::optional<RefinementWorkspace> refinement;
  if (mixed) {
    single.emplace(conv, options.effort);
    refinement.emplace(grid.size() * CRACK_COMPONENTS);
  }
  run.precision = options.precision;
  run.seconds.kernel = seconds_since(kernel_start);
  progress.ready();

  const auto solve_start = std::chrono::steady_clock::now();
  CrackOperator op(grid, conv, single ? &*single : nullptr);
  BicgstabWorkspace work(grid.size() * CRACK_COMPONENTS);
  std::vector<double> crack_coef(grid.size() * CRACK_COMPONENTS);
  for (int lc = 1; lc <= 3; ++lc) {
    const SolveStatus status =
        solve_crack_load_case(op, lc, setup.tol, work, crack_coef, progress, refinement ? &*refinement : nullptr);
    run.load_cases[static_cast<std::size_t>(lc - 1)] = status;
    if (!report_load_case(progress, lc, status)) run.conv_flag = 0;
    reduce_crack_load_case(lc, crack_coef, grid.crack_mask, run.reductions);
    if (options.keep_opening) keep_opening(run.bounds, N, lc, crack_coef, run.opening);
  }
  run.seconds.solve = seconds_since(solve_start);
  run.tensors = compute_crack_tensors(setup, run.reductions);
  run.seconds.total = seconds_since(start);
  return run;
}

}  // namespace csolver
