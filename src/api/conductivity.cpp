// The library's interface for steady conduction: checks a problem, runs its
// sequence and returns plain results.
#include "contribution/conductivity.h"

#include "api/conductivity_pipeline.h"
#include "api/interface_support.h"
#include "model/checks.h"

#include <utility>

namespace contribution {

namespace {

using namespace detail;

csolver::ConductivityRunOptions conductivity_options(const SolveOptions& options) {
  csolver::ConductivityRunOptions run;
  run.run = run_options(options);
  return run;
}

ConductivityResult result_of(const csolver::ConductivityRun& run, std::int32_t N, int load_cases) {
  ConductivityResult result;
  result.formulation = run.contrast.formulation;
  result.mean = run.mean == csolver::MeanEstimate::nodal ? ConductivityMean::nodal : ConductivityMean::smoothed;
  result.R = to_array<3, 3>(run.tensors.R);
  result.K = to_array<3, 3>(run.tensors.K);
  result.load_cases.assign(run.solution.load_cases.begin(), run.solution.load_cases.begin() + load_cases);
  result.conv_flag = run.solution.conv_flag;
  result.M = N - 1;
  result.h = csolver::grid_step(result.M);
  result.box = box_of(run.bounds);
  result.spectra = spectra_of(run.convolution);
  result.seconds = run.seconds;
  return result;
}

}  // namespace

const char* describe(ConductivityFormulation formulation) {
  return formulation == ConductivityFormulation::field ? "field" : "flux";
}

ConductivityResult solve_conductivity(ConductivityProblem problem, const SolveOptions& options) {
  const std::int32_t N = problem.nodes_per_axis;
  const std::size_t nodes = check_grid(N, 3, LARGEST_VOLUME_N, problem.flags.size());
  check_coordinates({&problem.x, &problem.y, &problem.z}, nodes);
  require(csolver::matrix_conductivity_problem(problem.k0));
  require(csolver::inhomogeneity_conductivity_problem(problem.k1));
  require(csolver::tolerance_problem(problem.tol));

  csolver::NodeTable table(N, N, csolver::grid_step(N - 1), false);
  table.node_flag = std::move(problem.flags);
  table.node_x = std::move(problem.x);
  table.node_y = std::move(problem.y);
  table.node_z = std::move(problem.z);
  const csolver::ConductivityRun run = csolver::run_conductivity(
      problem.k0, problem.k1, problem.tol, std::move(table), progress_hooks(options), conductivity_options(options));
  ConductivityResult result = result_of(run, N, 3);
  result.mean_field = to_array<3, 3>(run.solution.mean);
  return result;
}

ConductivityResult solve_conductivity(ConductivityCrackProblem problem, const SolveOptions& options) {
  const std::int32_t N = problem.nodes_per_axis;
  const std::size_t nodes = check_grid(N, 2, LARGEST_PLANE_N, problem.flags.size());
  check_coordinates({&problem.x, &problem.y}, nodes);
  require(csolver::matrix_conductivity_problem(problem.k0));
  require(csolver::tolerance_problem(problem.tol));

  csolver::NodeTable plane(N, 1, csolver::grid_step(N - 1), false);
  plane.node_flag = std::move(problem.flags);
  plane.node_x = std::move(problem.x);
  plane.node_y = std::move(problem.y);
  if (!plane.node_x.empty()) plane.node_z.assign(nodes, -1.0);
  const csolver::ConductivityRun run = csolver::run_crack_conductivity(
      problem.k0, problem.tol, std::move(plane), progress_hooks(options), conductivity_options(options));
  ConductivityResult result = result_of(run, N, 1);
  result.crack = true;
  result.max_jump = run.max_jump;
  return result;
}

}  // namespace contribution
