#pragma once
// The run sequence: read the problem, build the branch's kernel, solve its
// load cases, form the results, write the report.
#include "contribution_solver/input.h"
#include "model/problem_setup.h"
#include "numlib/convolution.h"
#include "numlib/fft.h"
#include "solver/bicgstab.h"
#include "solver/inhomogeneity_solver.h"
#include "solver/progress.h"
#include "tensors/crack_results.h"
#include "tensors/inhomogeneity_results.h"

#include <array>
#include <cstdio>
#include <filesystem>

namespace csolver {

struct InhomogeneityRun {
  ProblemSetup setup;  // with the formulation chosen
  BoxBounds bounds;
  InhomogeneitySolution solution;
  InhomogeneityTensors tensors;
  SpectrumLayout convolution = SpectrumLayout::half_spectrum;  // the kernel spectra's layout taken
};

struct CrackRun {
  BoxBounds bounds;
  std::array<SolveStatus, 3> load_cases{};
  int conv_flag = 1;
  CrackReductions reductions;
  CrackTensors tensors;
  SpectrumLayout convolution = SpectrumLayout::half_spectrum;
};

// Both take the node table by value and release it as soon as the box or the
// crack's sub-grid has been copied out. `source` names the input in messages.
InhomogeneityRun solve_inhomogeneity(ProblemSetup setup, NodeTable nodes, const Progress& progress,
                                     PlannerEffort effort = PlannerEffort::measure,
                                     const std::filesystem::path& source = "input.txt");
CrackRun solve_crack(const ProblemSetup& setup, NodeTable nodes, const Progress& progress,
                     PlannerEffort effort = PlannerEffort::measure,
                     const std::filesystem::path& source = "input.txt");

// Progress lines on `out`, solver breakdowns on `err`.
Progress console_progress(std::FILE* out, std::FILE* err);

// The whole program in directory `dir`; returns the exit status: 0 done,
// 2 bad input, 1 any other failure (destination, memory, output).
int run_program(const std::filesystem::path& dir, std::FILE* out, std::FILE* err);

}  // namespace csolver
