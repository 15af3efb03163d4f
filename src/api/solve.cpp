// The library's interface: checks a problem, sets it up on the grid, runs the
// branch's sequence and returns plain results.
#include "contribution/solve.h"

#include "api/pipeline.h"
#include "model/checks.h"

#include <cmath>
#include <initializer_list>
#include <string>
#include <utility>

namespace contribution {

namespace {

using csolver::NodeTable;
using csolver::ProblemSetup;

// 1290^3 < 2^31: node counts of a volume grid stay 32-bit, as in input.txt.
constexpr std::int32_t LARGEST_VOLUME_N = 1290;
// 46341^2 > 2^31: the crack plane's node count stays 32-bit.
constexpr std::int32_t LARGEST_PLANE_N = 46340;

void require(const std::string& problem) {
  if (!problem.empty()) throw InvalidProblem(problem);
}

// The number of grid nodes, N^rank, once N is known to be usable.
std::size_t check_grid(std::int32_t N, int rank, std::int32_t largest, std::size_t flags) {
  if (N < 2 || N > largest)
    throw InvalidProblem("found N = " + std::to_string(N) + " nodes per axis, expected 2 <= N <= " +
                         std::to_string(largest) + " (N = M + 1, M >= 1 intervals)");
  std::size_t nodes = 1;
  for (int r = 0; r < rank; ++r) nodes *= static_cast<std::size_t>(N);
  if (flags != nodes)
    throw InvalidProblem("found " + std::to_string(flags) + " node flags, expected N^" + std::to_string(rank) +
                         " = " + std::to_string(nodes) + " for N = " + std::to_string(N));
  return nodes;
}

// Coordinates are optional, but given for every axis of the grid or none.
void check_coordinates(std::initializer_list<const std::vector<double>*> axes, std::size_t nodes) {
  bool any = false;
  for (const std::vector<double>* c : axes) any = any || !c->empty();
  if (!any) return;
  for (const std::vector<double>* c : axes) {
    if (c->size() != nodes)
      throw InvalidProblem("found " + std::to_string(c->size()) + " values in a coordinate array, expected " +
                           std::to_string(nodes) + " (one per node, for every axis) or none");
    for (double v : *c)
      if (!std::isfinite(v)) throw InvalidProblem("found a non-finite node coordinate, expected finite coordinates");
  }
}

ProblemSetup make_setup(const Material& matrix, const Material& inhomogeneity, std::int32_t N, double tol,
                        bool crack) {
  require(csolver::young_modulus_problem("E0", matrix.E));
  require(csolver::poisson_ratio_problem("n0", matrix.nu));
  if (!crack) {
    require(csolver::young_modulus_problem("E1", inhomogeneity.E, true, true));  // 0: a void, inf: a rigid inclusion
    require(csolver::poisson_ratio_problem("n1", inhomogeneity.nu));
  }
  require(csolver::tolerance_problem(tol));
  ProblemSetup setup;
  setup.E0 = matrix.E;
  setup.n0 = matrix.nu;
  setup.E1 = inhomogeneity.E;
  setup.n1 = inhomogeneity.nu;
  setup.problem_type = crack ? 0 : 1;
  setup.M = N - 1;
  setup.N = N;
  setup.h = csolver::grid_step(setup.M);
  setup.tol = tol;
  csolver::derive_constants(setup);
  return setup;
}

csolver::RunOptions run_options(const SolveOptions& options) {
  csolver::RunOptions run;
  run.effort = options.measure_plans ? csolver::PlannerEffort::measure : csolver::PlannerEffort::estimate;
  run.threads = options.threads;
  run.machine_memory_bytes = options.machine_memory_bytes;
  return run;
}

// The callback's answer decides whether the solve goes on.
void notify(const SolveOptions& options, const ProgressEvent& event) {
  if (options.progress && !options.progress(event)) throw Cancelled();
}

csolver::Progress progress_hooks(const SolveOptions& options) {
  csolver::Progress progress;
  progress.ready = [&options] { notify(options, {ProgressEvent::Kind::kernel_ready, 0, 0, 0, nullptr}); };
  progress.iteration = [&options](int load_case, int iteration, double error) {
    notify(options, {ProgressEvent::Kind::iteration, load_case, iteration, error, nullptr});
  };
  progress.finished = [&options](int load_case, const LoadCaseStatus& status) {
    notify(options, {ProgressEvent::Kind::load_case_finished, load_case, status.iterations, status.error, &status});
  };
  return progress;
}

template <int Rows, int Cols, class Matrix>
std::array<std::array<double, Cols>, Rows> to_array(const Matrix& m) {
  std::array<std::array<double, Cols>, Rows> out{};
  for (int r = 0; r < Rows; ++r)
    for (int c = 0; c < Cols; ++c) out[static_cast<std::size_t>(r)][static_cast<std::size_t>(c)] = m(r, c);
  return out;
}

Box box_of(const csolver::BoxBounds& b) { return {{b.ix0, b.iy0, b.iz0}, {b.nx, b.ny, b.nz}}; }

KernelSpectra spectra_of(csolver::SpectrumLayout layout) {
  return layout == csolver::SpectrumLayout::octant ? KernelSpectra::octant : KernelSpectra::half_spectrum;
}

}  // namespace

const char* describe(KernelSpectra spectra) {
  return csolver::layout_name(spectra == KernelSpectra::octant ? csolver::SpectrumLayout::octant
                                                               : csolver::SpectrumLayout::half_spectrum);
}

double grid_step(std::int32_t M) { return csolver::grid_step(M); }

Tensor6 in_yz_xz_xy_order(const Tensor6& tensor, ShearOrder order) {
  if (order == ShearOrder::yz_xz_xy) return tensor;
  // Exchanging the shear pairs 12 and 23 is exchanging rows and columns 4 and 6.
  constexpr std::size_t swap[6] = {0, 1, 2, 5, 4, 3};
  Tensor6 out{};
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) out[r][c] = tensor[swap[r]][swap[c]];
  return out;
}

InhomogeneityResult solve_inhomogeneity(InhomogeneityProblem problem, const SolveOptions& options) {
  const std::int32_t N = problem.nodes_per_axis;
  const std::size_t nodes = check_grid(N, 3, LARGEST_VOLUME_N, problem.flags.size());
  check_coordinates({&problem.x, &problem.y, &problem.z}, nodes);
  ProblemSetup setup = make_setup(problem.matrix, problem.inhomogeneity, N, problem.tol, false);
  setup.formulation_rule = problem.formulation_rule;
  setup.mean_field = problem.mean_field_estimate;

  NodeTable table(N, N, setup.h, false);
  table.node_flag = std::move(problem.flags);
  table.node_x = std::move(problem.x);
  table.node_y = std::move(problem.y);
  table.node_z = std::move(problem.z);
  csolver::RunOptions run_opts = run_options(options);
  run_opts.keep_field = problem.keep_field;
  csolver::InhomogeneityRun run = csolver::run_inhomogeneity(setup, std::move(table), progress_hooks(options), run_opts);

  InhomogeneityResult result;
  result.formulation = run.setup.formulation;
  result.formulation_rule = problem.formulation_rule;
  result.mean_field_estimate = problem.mean_field_estimate;
  result.shear_order =
      run.setup.formulation == Formulation::stiffness ? ShearOrder::xy_xz_yz : ShearOrder::yz_xz_xy;
  result.H = to_array<6, 6>(run.tensors.H_tensor);
  result.N = to_array<6, 6>(run.tensors.N_tensor);
  result.mean_field = to_array<6, 6>(run.tensors.mean_field);
  result.load_cases = run.solution.load_cases;
  result.conv_flag = run.solution.conv_flag;
  result.symmetry_flag = run.tensors.symmetry_flag;
  result.M = setup.M;
  result.h = setup.h;
  result.box = box_of(run.bounds);
  result.spectra = spectra_of(run.convolution);
  result.seconds = run.seconds;
  result.field = std::move(run.field);
  return result;
}

CrackResult solve_crack(CrackProblem problem, const SolveOptions& options) {
  const std::int32_t N = problem.nodes_per_axis;
  const std::size_t nodes = check_grid(N, 2, LARGEST_PLANE_N, problem.flags.size());
  check_coordinates({&problem.x, &problem.y}, nodes);
  const ProblemSetup setup = make_setup(problem.matrix, problem.matrix, N, problem.tol, true);

  NodeTable plane(N, 1, setup.h, false);
  plane.node_flag = std::move(problem.flags);
  plane.node_x = std::move(problem.x);
  plane.node_y = std::move(problem.y);
  if (!plane.node_x.empty()) plane.node_z.assign(nodes, -1.0);
  csolver::RunOptions run_opts = run_options(options);
  run_opts.kernel = problem.kernel;
  run_opts.keep_opening = problem.keep_opening;
  csolver::CrackRun run = csolver::run_crack(setup, std::move(plane), progress_hooks(options), run_opts);

  CrackResult result;
  result.H = to_array<6, 6>(run.tensors.H_tensor);
  result.N = to_array<6, 6>(run.tensors.N_tensor);
  result.max_opening = to_array<3, 3>(run.reductions.max_opening);
  result.load_cases = run.load_cases;
  result.conv_flag = run.conv_flag;
  result.kernel = problem.kernel;
  result.M = setup.M;
  result.h = setup.h;
  result.box = box_of(run.bounds);
  result.spectra = spectra_of(run.convolution);
  result.seconds = run.seconds;
  result.opening = std::move(run.opening);
  return result;
}

}  // namespace contribution
