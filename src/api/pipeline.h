#pragma once
// The run sequence of each branch on the library's records: bounding box,
// kernel, load cases, results. The interface functions of
// contribution/solve.h check and convert around these; tests call them
// directly to see the intermediate records.
#include "contribution/solve.h"
#include "model/problem_setup.h"
#include "numlib/convolution.h"
#include "numlib/fft.h"
#include "solver/bicgstab.h"
#include "solver/inhomogeneity_solver.h"
#include "solver/progress.h"
#include "tensors/crack_results.h"
#include "tensors/inhomogeneity_results.h"

#include <array>
#include <cstddef>
#include <vector>

namespace csolver {

struct RunOptions {
  PlannerEffort effort = PlannerEffort::measure;
  int threads = 0;                       // 0: all OpenMP threads
  std::size_t machine_memory_bytes = 0;  // 0: no memory check
  PlanarKernel kernel = PlanarKernel::specified;  // the crack's traction kernel
  bool keep_opening = false;             // crack: keep the opening fields on the plane
  bool keep_field = false;               // inhomogeneity: keep the solved fields on the grid
  contribution::Precision precision = contribution::Precision::double_precision;
  // twice_box: the console program's transforms, bit for bit; smooth: quicker
  // transforms, the same results up to rounding.
  Padding padding = Padding::twice_box;
};

struct InhomogeneityRun {
  ProblemSetup setup;  // with the formulation chosen
  BoxBounds bounds;
  InhomogeneitySolution solution;
  InhomogeneityTensors tensors;
  SpectrumLayout convolution = SpectrumLayout::half_spectrum;  // the kernel spectra's layout taken
  contribution::Precision precision = contribution::Precision::double_precision;
  contribution::StageSeconds seconds;
  std::vector<double> field;  // with keep_field: as InhomogeneityResult::field
};

struct CrackRun {
  BoxBounds bounds;
  std::array<SolveStatus, 3> load_cases{};
  int conv_flag = 1;
  CrackReductions reductions;
  CrackTensors tensors;
  SpectrumLayout convolution = SpectrumLayout::half_spectrum;
  contribution::Precision precision = contribution::Precision::double_precision;
  contribution::StageSeconds seconds;
  std::vector<double> opening;  // with keep_opening: (load case, component, j, i) over the N x N plane
};

// Throws contribution::InvalidProblem for an empty set of flagged nodes or
// coordinates so far off the regular grid that the box leaves the table.
void check_bounds(const BoxBounds& b, const NodeTable& nodes, bool crack);

// Throws contribution::ResourceError when the options give the machine's
// memory and `bytes` exceed it.
void check_memory(std::size_t bytes, const RunOptions& options, const char* what);

// Both take the node table by value and release it as soon as the box or the
// crack's sub-grid has been copied out, so the table and the solver's arrays
// never coexist. Bad shapes throw contribution::InvalidProblem, a shortfall
// of memory contribution::ResourceError.
InhomogeneityRun run_inhomogeneity(ProblemSetup setup, NodeTable nodes, const Progress& progress,
                                   const RunOptions& options = {});
CrackRun run_crack(const ProblemSetup& setup, NodeTable nodes, const Progress& progress,
                   const RunOptions& options = {});

}  // namespace csolver
