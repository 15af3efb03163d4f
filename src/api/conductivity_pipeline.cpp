#include "api/conductivity_pipeline.h"

#include "api/memory_estimate.h"
#include "numlib/thread_count.h"
#include "kernels/conductivity_kernel.h"

#include <chrono>

namespace csolver {

namespace {
double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}
}  // namespace

ConductivityRun run_conductivity(double k0, double k1, double tol, NodeTable nodes, const Progress& progress,
                                 const ConductivityRunOptions& options) {
  const ScopedThreadCount team(options.run.threads);
  const auto start = std::chrono::steady_clock::now();
  ConductivityRun run;
  run.bounds = inhomogeneity_bounds(nodes, nodes.h);
  check_bounds(run.bounds, nodes, false);
  run.contrast = options.formulation ? conductivity_contrast(k0, k1, *options.formulation) : conductivity_contrast(k0, k1);
  const char* what = "the conduction solver for this inhomogeneity's box";
  check_memory(conductivity_solver_bytes(run.bounds, SpectrumLayout::octant, options.run.threads), options.run, what);
  const double h = nodes.h;
  const Box box = box_geometry(nodes, run.bounds);
  nodes = NodeTable();
  std::vector<AxisParities> symmetry;
  if (separable_coordinates(box)) symmetry = conductivity_kernel_parities();
  else check_memory(conductivity_solver_bytes(run.bounds, SpectrumLayout::half_spectrum, options.run.threads), options.run, what);
  run.seconds.setup = seconds_since(start);

  const auto kernel_start = std::chrono::steady_clock::now();
  PaddedConvolution conv(run.bounds.extents(3), CONDUCTIVITY_ENTRIES + 1, CONDUCTIVITY_COMPONENTS,
                         options.run.effort, options.run.threads, symmetry);
  run.convolution = conv.layout();
  build_conductivity_kernel(box, h, run.contrast.formulation, conv);
  run.seconds.kernel = seconds_since(kernel_start);
  progress.ready();

  const auto solve_start = std::chrono::steady_clock::now();
  run.mean = options.mean.value_or(MeanEstimate::nodal);
  run.solution = solve_conductivity_load_cases(box, run.contrast.contrast, conv, tol, run.mean, progress);
  run.seconds.solve = seconds_since(solve_start);
  run.tensors = conductivity_tensors(run.contrast, k0, run.solution.mean);
  run.seconds.total = seconds_since(start);
  return run;
}

ConductivityRun run_crack_conductivity(double k0, double tol, NodeTable nodes, const Progress& progress,
                                       const ConductivityRunOptions& options) {
  const ScopedThreadCount team(options.run.threads);
  const auto start = std::chrono::steady_clock::now();
  ConductivityRun run;
  run.bounds = crack_bounds(nodes, nodes.h);
  check_bounds(run.bounds, nodes, true);
  run.contrast = conductivity_contrast(k0, 0.0);  // insulating: the jump is a field quantity
  const char* what = "the conduction solver for this crack";
  check_memory(crack_flux_solver_bytes(run.bounds, SpectrumLayout::octant, options.run.threads), options.run, what);
  const double h = nodes.h;
  const CrackGrid grid = build_crack_grid(nodes, run.bounds);
  nodes = NodeTable();
  const std::vector<AxisParities> symmetry = crack_flux_symmetry(grid);
  if (symmetry.empty())
    check_memory(crack_flux_solver_bytes(run.bounds, SpectrumLayout::half_spectrum, options.run.threads), options.run, what);
  run.seconds.setup = seconds_since(start);

  const auto kernel_start = std::chrono::steady_clock::now();
  PaddedConvolution conv(run.bounds.extents(2), CRACK_FLUX_KERNELS, 1, options.run.effort, options.run.threads, symmetry);
  run.convolution = conv.layout();
  build_crack_flux_kernel(grid, h, k0, conv);
  run.seconds.kernel = seconds_since(kernel_start);
  progress.ready();

  const auto solve_start = std::chrono::steady_clock::now();
  run.mean = options.mean.value_or(MeanEstimate::smoothed);
  const CrackFluxSolution s = solve_crack_flux(grid, conv, tol, run.mean, progress);
  run.solution.load_cases[0] = s.status;
  run.solution.conv_flag = s.conv_flag;
  run.max_jump = s.max_jump;
  run.seconds.solve = seconds_since(solve_start);
  run.tensors = crack_conductivity_tensors(k0, h, s.jump_sum);
  run.seconds.total = seconds_since(start);
  return run;
}

}  // namespace csolver
