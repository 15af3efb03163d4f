// The library's interface: checks a problem, sets it up on the grid, runs the
// branch's sequence and returns plain results.
#include "contribution/solve.h"

#include "api/interface_support.h"
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
using namespace detail;

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
