#pragma once
// What the solvers report while they run; the driver decides how to show it.
#include "solver/bicgstab.h"

#include <functional>

namespace csolver {

// A hook may throw to abandon the solve (cancellation); the solvers hold
// their arrays in RAII owners, so nothing leaks.
struct Progress {
  std::function<void()> ready = [] {};  // kernel built and transformed
  std::function<void(int load_case, int iteration, double error)> iteration = [](int, int, double) {};
  std::function<void(int load_case, const SolveStatus&)> finished = [](int, const SolveStatus&) {};
};

// Reports a finished load case; returns whether it leaves the run's
// convergence flag set (met the tolerance before the last permitted iteration).
bool report_load_case(const Progress& progress, int load_case, const SolveStatus& status);

}  // namespace csolver
