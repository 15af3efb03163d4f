#include "contribution_solver/run.h"

#include "contribution_solver/clock.h"
#include "contribution_solver/interrupt.h"
#include "contribution_solver/memory_estimate.h"
#include "contribution_solver/report.h"
#include "contribution_solver/result_files.h"
#include "contribution_solver/result_json.h"
#include "fftw_wisdom/fftw_wisdom.h"
#include "kernels/planar_kernel.h"
#include "kernels/volume_kernel.h"
#include "solver/crack_solver.h"

#include <new>

namespace csolver {

namespace fs = std::filesystem;

namespace {

bool inside_grid(std::int32_t offset, std::int32_t extent, std::int32_t N) {
  return offset >= 0 && extent >= 1 && offset + extent <= N;
}

bool any_flagged(const NodeTable& nodes) {
  for (std::int32_t flag : nodes.node_flag)
    if (flag == 1) return true;
  return false;
}

// An empty set of flagged nodes, or coordinates far off the regular grid,
// would give a box outside the node table.
void check_bounds(const BoxBounds& b, const NodeTable& nodes, bool crack, const fs::path& source) {
  const bool empty = b.nx < 1 || b.ny < 1 || b.nz < 1;
  if (empty && !crack) throw InputError(source, 0, "no node is flagged 1: the inhomogeneity is empty");
  if (empty && any_flagged(nodes))
    throw InputError(source, 0,
                     "no node of the crack plane k = 1 is flagged 1 (flags in other planes play no part in a "
                     "crack problem); put the crack's nodes in the records with k = 1");
  if (empty) throw InputError(source, 0, "no node is flagged 1: the crack is empty");
  if (!inside_grid(b.ix0, b.nx, nodes.N) || !inside_grid(b.iy0, b.ny, nodes.N) || !inside_grid(b.iz0, b.nz, nodes.N))
    throw InputError(source, 0,
                     "the flagged nodes' coordinates do not lie on the grid over [-1, 1]^3 that M defines "
                     "(node (i, j, k) at -1 + (i-1)h, -1 + (j-1)h, -1 + (k-1)h)");
}

std::vector<int> extents(const BoxBounds& b, int rank) {
  if (rank == 2) return {b.nx, b.ny};
  return {b.nx, b.ny, b.nz};
}

void check_node_table(std::int32_t N) { require_memory(node_table_bytes(N), "the node table"); }

}  // namespace

InhomogeneityRun solve_inhomogeneity(ProblemSetup setup, NodeTable nodes, const Progress& progress,
                                     PlannerEffort effort, const fs::path& source) {
  InhomogeneityRun run;
  run.bounds = inhomogeneity_bounds(nodes, setup.h);
  check_bounds(run.bounds, nodes, false, source);
  setup.formulation = choose_formulation(setup.E1, setup.E0);
  require_memory(inhomogeneity_solver_bytes(run.bounds), "the solver for this inhomogeneity's box");
  const Box box = build_box(setup, nodes, run.bounds);
  nodes = NodeTable();  // the full table and the solver's arrays never coexist
  const std::vector<AxisParities> symmetry = volume_kernel_symmetry(setup.formulation, box);
  if (symmetry.empty())  // coordinates off the regular grid: the larger half spectrum
    require_memory(inhomogeneity_solver_bytes(run.bounds, SpectrumLayout::half_spectrum),
                   "the solver for this inhomogeneity's box");

  PaddedConvolution conv(extents(run.bounds, 3), VOLUME_ENTRIES + 1, VOLUME_COMPONENTS, effort, 0, symmetry);
  run.convolution = conv.layout();
  build_volume_kernel(setup, box, conv);
  progress.ready();
  run.solution = solve_load_cases(setup, box, conv, progress);
  run.tensors = compute_contribution_tensors(setup, run.solution.mean_field);
  run.setup = std::move(setup);
  return run;
}

CrackRun solve_crack(const ProblemSetup& setup, NodeTable nodes, const Progress& progress, PlannerEffort effort,
                     const fs::path& source) {
  CrackRun run;
  run.bounds = crack_bounds(nodes, setup.h);
  check_bounds(run.bounds, nodes, true, source);
  require_memory(crack_solver_bytes(run.bounds), "the solver for this crack");
  const CrackGrid grid = build_crack_grid(nodes, run.bounds);
  nodes = NodeTable();
  const std::vector<AxisParities> symmetry = planar_kernel_symmetry(grid);
  if (symmetry.empty())
    require_memory(crack_solver_bytes(run.bounds, SpectrumLayout::half_spectrum), "the solver for this crack");

  PaddedConvolution conv(extents(run.bounds, 2), PLANAR_KERNELS, CRACK_COMPONENTS, effort, 0, symmetry);
  run.convolution = conv.layout();
  build_planar_kernel(setup, grid, conv);
  progress.ready();
  CrackOperator op(grid, conv);
  BicgstabWorkspace work(grid.size() * CRACK_COMPONENTS);
  std::vector<double> crack_coef(grid.size() * CRACK_COMPONENTS);
  for (int lc = 1; lc <= 3; ++lc) {
    const SolveStatus status = solve_crack_load_case(op, lc, setup.tol, work, crack_coef, progress);
    run.load_cases[static_cast<std::size_t>(lc - 1)] = status;
    if (!report_load_case(progress, lc, status)) run.conv_flag = 0;
    reduce_crack_load_case(lc, crack_coef, grid.crack_mask, run.reductions);
  }
  run.tensors = compute_crack_tensors(setup, run.reductions);
  return run;
}

Progress console_progress(std::FILE* out, std::FILE* err) {
  Progress progress;
  progress.ready = [out] {
    std::fprintf(out, " System ready!\n");
    std::fflush(out);
  };
  progress.iteration = [out](int iteration, double error) {
    std::fprintf(out, " %11d %23.15E\n", iteration, error);
    std::fflush(out);
  };
  progress.converged = [out](int load_case) {
    std::fprintf(out, " Load case # %d\n Solution converges\n", load_case);
    std::fflush(out);
  };
  progress.broke_down = [err](int load_case, const SolveStatus& status) {
    std::fprintf(err,
                 "contribution_solver: load case %d stopped at iteration %d, BiCGSTAB broke down (%s); "
                 "its result is not converged\n",
                 load_case, status.iterations, describe(status.breakdown));
  };
  return progress;
}

int run_program(const fs::path& dir, std::FILE* out, std::FILE* err) {
  const fs::path source = dir == "." ? fs::path("input.txt") : dir / "input.txt";
  install_interrupt_handlers();
  try {
    const double t_start = monotonic_seconds();
    ProblemInput input = read_problem(source, check_node_table);
    const Destination destination = prepare_destination(dir);
    load_fftw_wisdom();  // planned transforms of earlier runs on this machine
    Progress progress = console_progress(out, err);
    progress.ready = [print = progress.ready] { print(); save_fftw_wisdom(); };  // planning is done by now
    std::vector<std::string> lines;
    std::string json;
    if (input.setup.is_crack()) {
      const CrackRun run = solve_crack(input.setup, std::move(input.nodes), progress, PlannerEffort::measure, source);
      const double elapsed = monotonic_seconds() - t_start;
      lines = crack_report_lines(input.setup, run.reductions.max_opening, run.tensors, run.conv_flag, elapsed);
      json = crack_result_json(input.setup, run, elapsed);
    } else {
      const InhomogeneityRun run =
          solve_inhomogeneity(input.setup, std::move(input.nodes), progress, PlannerEffort::measure, source);
      const double elapsed = monotonic_seconds() - t_start;
      lines = inhomogeneity_report_lines(run.setup, run.tensors, run.solution.conv_flag, elapsed);
      json = inhomogeneity_result_json(run, elapsed);
    }
    write_result_json(destination, write_report(destination, lines), json);
    return 0;
  } catch (const InputError& e) {
    std::fprintf(err, "contribution_solver: %s\n", e.what());
    return 2;
  } catch (const std::bad_alloc&) {
    std::fprintf(err, "contribution_solver: out of memory\n");
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(err, "contribution_solver: %s\n", e.what());
    return 1;
  }
}

}  // namespace csolver
