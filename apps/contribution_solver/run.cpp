#include "contribution_solver/run.h"

#include "contribution_solver/clock.h"
#include "contribution_solver/input.h"
#include "contribution_solver/interrupt.h"
#include "contribution_solver/memory_estimate.h"
#include "contribution_solver/report.h"
#include "contribution_solver/result_files.h"
#include "contribution_solver/result_json.h"
#include "fftw_wisdom/fftw_wisdom.h"
#include "system/memory.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace csolver {

namespace fs = std::filesystem;

namespace {

void check_node_table(std::int32_t N, std::int32_t planes) {
  require_physical_memory(node_table_bytes(N, planes), "the node table");
}

template <std::size_t Rows, std::size_t Cols>
Eigen::Matrix<double, static_cast<int>(Rows), static_cast<int>(Cols)> to_matrix(
    const std::array<std::array<double, Cols>, Rows>& a) {
  Eigen::Matrix<double, static_cast<int>(Rows), static_cast<int>(Cols)> m;
  for (std::size_t r = 0; r < Rows; ++r)
    for (std::size_t c = 0; c < Cols; ++c) m(static_cast<int>(r), static_cast<int>(c)) = a[r][c];
  return m;
}

// The transforms are planned by then: the wisdom is saved for the next run.
contribution::SolveOptions solve_options(std::FILE* out, std::FILE* err) {
  contribution::SolveOptions options;
  options.machine_memory_bytes = physical_memory_bytes();
  options.precision = precision_setting(std::getenv("CONTRIBUTION_PRECISION"));
  // Padded to exactly twice the box: the padded sizes decide the transforms'
  // rounding, and so the last digits of the reports.
  options.smooth_padding = false;
  options.progress = [print = console_progress(out, err)](const contribution::ProgressEvent& event) {
    const bool go_on = print(event);
    if (event.kind == contribution::ProgressEvent::Kind::kernel_ready) save_fftw_wisdom();
    return go_on;
  };
  return options;
}

struct Outcome {
  std::vector<std::string> lines;
  std::string json;
};

Outcome solve_inhomogeneity_input(ProblemInput& input, const contribution::SolveOptions& options, double t_start) {
  const ProblemSetup& setup = input.setup;
  contribution::InhomogeneityProblem problem;
  problem.matrix = {setup.E0, setup.n0};
  problem.inhomogeneity = {setup.E1, setup.n1};
  problem.nodes_per_axis = setup.N;
  problem.flags = std::move(input.nodes.node_flag);
  problem.x = std::move(input.nodes.node_x);
  problem.y = std::move(input.nodes.node_y);
  problem.z = std::move(input.nodes.node_z);
  problem.tol = setup.tol;
  input.nodes = NodeTable();
  const contribution::InhomogeneityResult result = contribution::solve_inhomogeneity(std::move(problem), options);
  const double elapsed = monotonic_seconds() - t_start;

  InhomogeneityTensors tensors;
  tensors.H_tensor = to_matrix(result.H);
  tensors.N_tensor = to_matrix(result.N);
  tensors.mean_field = to_matrix(result.mean_field);
  tensors.symmetry_flag = result.symmetry_flag;
  return {inhomogeneity_report_lines(setup, tensors, result.conv_flag, elapsed),
          inhomogeneity_result_json(setup, result, elapsed)};
}

bool plane_is_empty(const NodeTable& plane) {
  for (std::int32_t flag : plane.node_flag)
    if (flag == 1) return false;
  return true;
}

Outcome solve_crack_input(ProblemInput& input, const contribution::SolveOptions& options, double t_start,
                          const fs::path& source) {
  const ProblemSetup& setup = input.setup;
  if (input.flagged_elsewhere > 0 && plane_is_empty(input.nodes))
    throw InputError(source, 0,
                     "no node of the crack plane k = 1 is flagged 1 (flags in other planes play no part in a "
                     "crack problem); put the crack's nodes in the records with k = 1");
  contribution::CrackProblem problem;
  problem.matrix = {setup.E0, setup.n0};
  problem.nodes_per_axis = setup.N;
  problem.flags = std::move(input.nodes.node_flag);
  problem.x = std::move(input.nodes.node_x);
  problem.y = std::move(input.nodes.node_y);
  problem.tol = setup.tol;
  problem.kernel = planar_kernel_setting(std::getenv("CONTRIBUTION_PLANAR_KERNEL"));
  input.nodes = NodeTable();
  const contribution::CrackResult result = contribution::solve_crack(std::move(problem), options);
  const double elapsed = monotonic_seconds() - t_start;

  CrackTensors tensors;
  tensors.H_tensor = to_matrix(result.H);
  tensors.N_tensor = to_matrix(result.N);
  return {crack_report_lines(setup, to_matrix(result.max_opening), tensors, result.conv_flag, elapsed),
          crack_result_json(setup, result, elapsed)};
}

}  // namespace

contribution::ProgressCallback console_progress(std::FILE* out, std::FILE* err) {
  using Kind = contribution::ProgressEvent::Kind;
  return [out, err](const contribution::ProgressEvent& event) {
    if (event.kind == Kind::kernel_ready) {
      std::fprintf(out, " System ready!\n");
    } else if (event.kind == Kind::iteration) {
      std::fprintf(out, " %11d %23.15E\n", event.iteration, event.error);
    } else {
      const contribution::LoadCaseStatus& status = *event.status;
      if (status.converged) std::fprintf(out, " Load case # %d\n Solution converges\n", event.load_case);
      if (status.breakdown != contribution::Breakdown::none)
        std::fprintf(err,
                     "contribution_solver: load case %d stopped at iteration %d, BiCGSTAB broke down (%s); "
                     "its result is not converged\n",
                     event.load_case, status.iterations, describe(status.breakdown));
    }
    std::fflush(out);
    return true;
  };
}

contribution::Precision precision_setting(const char* setting) {
  contribution::Precision precision = contribution::Precision::double_precision;
  if (setting == nullptr || contribution::parse_precision(setting, precision)) return precision;
  throw InputError("the environment", 0,
                   std::string("found CONTRIBUTION_PRECISION=") + setting + ", expected 'double' or 'mixed'");
}

contribution::PlanarKernel planar_kernel_setting(const char* setting) {
  if (setting == nullptr || std::strcmp(setting, "specified") == 0) return contribution::PlanarKernel::specified;
  if (std::strcmp(setting, "exact") == 0) return contribution::PlanarKernel::exact;
  throw InputError("the environment", 0,
                   std::string("found CONTRIBUTION_PLANAR_KERNEL=") + setting + ", expected 'specified' or 'exact'");
}

int run_program(const fs::path& dir, std::FILE* out, std::FILE* err) {
  const fs::path source = dir == "." ? fs::path("input.txt") : dir / "input.txt";
  install_interrupt_handlers();
  try {
    const double t_start = monotonic_seconds();
    ProblemInput input = read_problem(source, check_node_table);
    if (input.setup.is_crack()) planar_kernel_setting(std::getenv("CONTRIBUTION_PLANAR_KERNEL"));
    precision_setting(std::getenv("CONTRIBUTION_PRECISION"));  // refused before any output is touched
    const Destination destination = prepare_destination(dir);
    load_fftw_wisdom();  // transforms planned by earlier runs on this machine
    const contribution::SolveOptions options = solve_options(out, err);
    Outcome outcome;
    try {
      outcome = input.setup.is_crack() ? solve_crack_input(input, options, t_start, source)
                                       : solve_inhomogeneity_input(input, options, t_start);
    } catch (const contribution::InvalidProblem& e) {
      throw InputError(source, 0, e.what());
    }
    write_result_json(destination, write_report(destination, outcome.lines), outcome.json);
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
