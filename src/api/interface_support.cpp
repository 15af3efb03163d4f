#include "api/interface_support.h"

#include <cmath>

namespace contribution::detail {

void require(const std::string& problem) {
  if (!problem.empty()) throw InvalidProblem(problem);
}

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

csolver::RunOptions run_options(const SolveOptions& options) {
  csolver::RunOptions run;
  run.effort = options.measure_plans ? csolver::PlannerEffort::measure : csolver::PlannerEffort::estimate;
  run.threads = options.threads;
  run.machine_memory_bytes = options.machine_memory_bytes;
  run.precision = options.precision;
  run.padding = options.smooth_padding ? csolver::Padding::smooth : csolver::Padding::twice_box;
  return run;
}

namespace {
// The callback's answer decides whether the solve goes on.
void notify(const SolveOptions& options, const ProgressEvent& event) {
  if (options.progress && !options.progress(event)) throw Cancelled();
}
}  // namespace

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

Box box_of(const csolver::BoxBounds& b) { return {{b.ix0, b.iy0, b.iz0}, {b.nx, b.ny, b.nz}}; }

KernelSpectra spectra_of(csolver::SpectrumLayout layout) {
  return layout == csolver::SpectrumLayout::octant ? KernelSpectra::octant : KernelSpectra::half_spectrum;
}

}  // namespace contribution::detail
