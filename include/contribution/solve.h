#pragma once
// Solving one inhomogeneity or one planar crack in an infinite isotropic
// matrix: the library's interface.
//
// The shape is a set of nodes of the regular grid of N = M + 1 nodes per axis
// over the cube [-1, 1]^3 (grid step h = 2/M, formed as a single-precision
// quotient as the original program laid its grids out), given by a flag per
// node: 1 inside, 0 outside. The library never prints, opens files or reads
// the environment; it reports through the progress callback and throws the
// exceptions of contribution/errors.h.
//
// Tensors are 6x6 in Voigt order with engineering shear strains: rows and
// columns 1-3 are 11, 22, 33; the shear order is given by `shear_order`
// (23, 13, 12 under the compliance formulation and for cracks; 12, 13, 23
// under the stiffness formulation), exactly as the console program reports.
#include "contribution/contrast.h"
#include "contribution/errors.h"
#include "contribution/precision.h"
#include "contribution/types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace contribution {

struct ProgressEvent {
  enum class Kind { kernel_ready, iteration, load_case_finished };
  Kind kind = Kind::kernel_ready;
  int load_case = 0;  // from 1; 0 for kernel_ready
  int iteration = 0;  // from 1 within the load case
  double error = 0;   // update norm of this iteration
  const LoadCaseStatus* status = nullptr;  // load_case_finished only
};

// Called from the solving thread. Return false to cancel: the solve stops
// before the next iteration and throws Cancelled.
using ProgressCallback = std::function<bool(const ProgressEvent&)>;

struct SolveOptions {
  int threads = 0;            // 0: OpenMP's default (all cores unless limited)
  bool measure_plans = true;  // FFTW_MEASURE; false: FFTW_ESTIMATE (quicker start, slower solves)
  // Memory of the machine the solve runs on; when set, a problem whose
  // estimated need exceeds it is refused with ResourceError before the large
  // arrays are allocated. 0: no check.
  std::size_t machine_memory_bytes = 0;
  // mixed: transforms in single precision inside the iterations, corrected
  // by double-precision residuals to the same tolerance (contribution/precision.h).
  Precision precision = Precision::mixed;
  // Zero-pad the box for the FFTs to sizes with small prime factors (2, 3, 5,
  // at times 7): quicker transforms, the same results up to rounding; false:
  // to exactly twice the box, as the console program does.
  bool smooth_padding = true;
  ProgressCallback progress;
};

struct InhomogeneityProblem {
  Material matrix;
  Material inhomogeneity;
  std::int32_t nodes_per_axis = 0;  // N = M + 1 >= 2
  // N^3 node flags, node (i, j, k) at i + N (j + N k) (x fastest); node (i, j, k)
  // lies at (-1 + i h, -1 + j h, -1 + k h). A flag of 1 marks the inhomogeneity;
  // other nonzero values are outside but weight the node in the operator, as
  // in the console program.
  std::vector<std::int32_t> flags;
  // Optional node coordinates (same indexing), used as given; empty for the
  // regular grid. For front ends that read coordinates from a file.
  std::vector<double> x, y, z;
  double tol = 1e-6;  // BiCGSTAB stops when the update norm is <= tol
  // contribution/contrast.h. The defaults are the console program's numerics;
  // the study, pores and Python front ends choose by measurement. E1 may be 0
  // (a void) or infinity (a rigid inclusion): both are solved exactly under
  // the bounded formulation, whatever the rule.
  FormulationRule formulation_rule = FormulationRule::specified;
  MeanFieldEstimate mean_field_estimate = MeanFieldEstimate::smoothed;
  bool keep_field = false;  // return the solved field of every load case at every node (result.field)
};

struct CrackProblem {
  Material matrix;
  std::int32_t nodes_per_axis = 0;  // N = M + 1 >= 2
  // N^2 flags of the crack plane, node (i, j) at i + N j, at (-1 + i h, -1 + j h).
  std::vector<std::int32_t> flags;
  std::vector<double> x, y;  // optional in-plane coordinates, as above
  double tol = 1e-6;
  PlanarKernel kernel = PlanarKernel::exact;
  bool keep_opening = false;  // return the opening fields on the plane
};

// Bounding box of the flagged nodes in grid indices (z: offset 0, extent 1
// for a crack).
struct Box {
  std::array<std::int32_t, 3> offset{};
  std::array<std::int32_t, 3> extent{};
};

// Wall seconds of the stages, on a monotonic clock.
struct StageSeconds {
  double setup = 0;   // checks, bounding box, box arrays
  double kernel = 0;  // FFT planning, kernel evaluation and transforms
  double solve = 0;   // all load cases
  double total = 0;
};

struct InhomogeneityResult {
  Formulation formulation = Formulation::compliance;  // the one taken
  FormulationRule formulation_rule = FormulationRule::specified;  // as asked
  MeanFieldEstimate mean_field_estimate = MeanFieldEstimate::smoothed;
  ShearOrder shear_order = ShearOrder::yz_xz_xy;
  Tensor6 H{};  // compliance contribution tensor, per unit volume of the inhomogeneity
  Tensor6 N{};  // stiffness contribution tensor
  // The report's "Mean stress": row = load case, column = component, both in
  // the solver's component order (11, 22, 33, 12, 13, 23 under compliance;
  // 11, 22, 33, 23, 13, 12 under stiffness), tensor shear components; the mean
  // over the inhomogeneity's nodes of the solved field for the unit right-hand
  // side of one component. The field solved for is the contrast times the
  // stress (or strain), so this is not the concentration tensor itself:
  // contribution/effective.h turns it into one (docs/effective.md). Entries
  // below 1e-6 in magnitude are zero, as the report prints them.
  Tensor6 mean_field{};
  std::array<LoadCaseStatus, 6> load_cases{};
  int conv_flag = 1;      // 1: every load case met tol before the iteration limit
  int symmetry_flag = 1;  // 1: the contrast product passed the symmetry test
  std::int32_t M = 0;
  double h = 0;
  Box box;
  KernelSpectra spectra = KernelSpectra::octant;
  Precision precision = Precision::double_precision;  // the precision the solve used
  StageSeconds seconds;
  // With keep_field: the solved field at every node of the N^3 grid (the
  // Gaussian sum of the solved coefficients, whose mean over the nodes
  // flagged 1 is mean_field under MeanFieldEstimate::smoothed), field[(((lc * 6 + c) * N + k) * N + j) * N + i]
  // for load case lc and component c at node (i, j, k), x fastest. Both lc and
  // c run in the standard order 11, 22, 33, 23, 13, 12 whatever the
  // formulation (tensor shear components); zero outside the box. Inside the
  // box but off the inhomogeneity it is the Gaussians' tail, not a field of
  // the matrix: read it at nodes flagged 1.
  std::vector<double> field;
};

struct CrackResult {
  Tensor6 H{};  // compliance contribution tensor, not divided by any volume
  Tensor6 N{};
  ShearOrder shear_order = ShearOrder::yz_xz_xy;
  // Row = load case (unit traction along x, y, z; z normal to the crack),
  // column = opening component x, y, z: the largest value over the box, >= 0.
  Tensor3 max_opening{};
  std::array<LoadCaseStatus, 3> load_cases{};
  int conv_flag = 1;
  int symmetry_flag = 1;  // the crack branch has no symmetry test
  PlanarKernel kernel = PlanarKernel::exact;
  std::int32_t M = 0;
  double h = 0;
  Box box;
  KernelSpectra spectra = KernelSpectra::octant;
  Precision precision = Precision::double_precision;  // the precision the solve used
  StageSeconds seconds;
  // With keep_opening: opening[((lc * 3 + c) * N + j) * N + i] for load case
  // lc, component c (0-based) at plane node (i, j); zero outside the box.
  std::vector<double> opening;
};

InhomogeneityResult solve_inhomogeneity(InhomogeneityProblem problem, const SolveOptions& options = {});
CrackResult solve_crack(CrackProblem problem, const SolveOptions& options = {});

// The grid step the library uses for M intervals: 2/M in single precision.
double grid_step(std::int32_t M);

// A result's tensor with its shear rows and columns in the order 23, 13, 12.
Tensor6 in_yz_xz_xy_order(const Tensor6& tensor, ShearOrder order);

}  // namespace contribution
