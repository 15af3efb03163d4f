#pragma once
// The run sequence of steady conduction on the library's records: bounding
// box, kernel, load cases, tensors. contribution/conductivity.h checks and
// converts around these; tests and measurements call them directly to choose
// the formulation or the mean estimate.
#include "api/pipeline.h"
#include "solver/conductivity_solver.h"
#include "tensors/conductivity_results.h"

#include <optional>

namespace csolver {

struct ConductivityRunOptions {
  RunOptions run;
  std::optional<ConductivityFormulation> formulation;  // none: the bounded one for k1
  // none: the measured choice, nodal for an inhomogeneity (the bounded
  // formulation's nodal mean converges smoothly and monotonically; the
  // smoothed mean loses the Gaussian tails beyond the surface) and smoothed
  // for a crack (the elastic crack's estimate, so that the cross-property
  // ratio H33/R33 of one crack is that of the continuum on every grid).
  std::optional<MeanEstimate> mean;
};

struct ConductivityRun {
  BoxBounds bounds;
  ConductivityContrast contrast;
  ConductivitySolution solution;
  MeanEstimate mean = MeanEstimate::nodal;  // the estimate taken
  double max_jump = 0;  // crack
  ConductivityTensors tensors;
  SpectrumLayout convolution = SpectrumLayout::half_spectrum;
  contribution::StageSeconds seconds;
};

// k0 finite > 0, 0 <= k1 <= infinity, checked by the caller. The node table
// is released once the box is copied out.
ConductivityRun run_conductivity(double k0, double k1, double tol, NodeTable nodes, const Progress& progress,
                                 const ConductivityRunOptions& options = {});
// An insulating crack on the plane k = 0 of the table (one plane).
ConductivityRun run_crack_conductivity(double k0, double tol, NodeTable nodes, const Progress& progress,
                                       const ConductivityRunOptions& options = {});

}  // namespace csolver
