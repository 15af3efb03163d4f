#pragma once
// Steady conduction (heat, electric current, any diffusivity) past one
// inhomogeneity or one insulating planar crack in an infinite isotropic
// matrix of conductivity k0: the resistivity and conductivity contribution
// tensors of the same shapes, on the same grids, as contribution/solve.h
// computes the elastic ones.
//
// Grid, flags, coordinates, options, progress and cancellation are those of
// contribution/solve.h. Tensors are 3x3, [row][column] over x, y, z.
//
//   K: the conductivity contribution tensor. Under a uniform applied field
//      e0 (minus the potential gradient), the inhomogeneity adds K e0 (V/V_total)
//      to the mean flux; per unit volume of the inhomogeneity (the flagged
//      nodes times h^3).
//   R: the resistivity contribution tensor, R = -K / k0^2: under an applied
//      flux q0 it adds R q0 (V/V_total) to the mean field. For a crack R is
//      not divided by any volume; only R33 (z normal to the crack) is nonzero.
#include "contribution/errors.h"
#include "contribution/solve.h"
#include "contribution/types.h"

#include <cstdint>
#include <vector>

namespace contribution {

// The solver takes the field formulation (contribution/types.h) for k1 <= k0
// and the flux formulation above.
const char* describe(ConductivityFormulation formulation);  // "field" or "flux"

// What the tensors are formed from: nodal, the mean (crack: the sum times
// h^2) of the solved coefficients, which is exactly the integral of the
// Gaussian-represented polarization; smoothed, of the field the Gaussians
// give at the flagged nodes. Chosen by measurement (docs/conductivity.md):
// nodal for inhomogeneities, smoothed for cracks, as the elastic crack.
enum class ConductivityMean { nodal, smoothed };

struct ConductivityProblem {
  double k0 = 1;  // matrix conductivity, finite and > 0
  // Inhomogeneity conductivity, 0 <= k1 <= infinity: 0 an insulator (a pore
  // for heat or current), std::numeric_limits<double>::infinity() a perfect conductor.
  double k1 = 1;
  std::int32_t nodes_per_axis = 0;  // N = M + 1 >= 2
  std::vector<std::int32_t> flags;  // N^3, node (i, j, k) at i + N (j + N k); 1 inside
  std::vector<double> x, y, z;      // optional node coordinates, as in InhomogeneityProblem
  double tol = 1e-6;
};

// An insulating planar crack (no flux across its faces) in the plane z = 0.
struct ConductivityCrackProblem {
  double k0 = 1;
  std::int32_t nodes_per_axis = 0;
  std::vector<std::int32_t> flags;  // N^2, node (i, j) at i + N j; 1 on the crack
  std::vector<double> x, y;
  double tol = 1e-6;
};

struct ConductivityResult {
  bool crack = false;
  ConductivityFormulation formulation = ConductivityFormulation::field;  // the crack: its jump is a field quantity
  ConductivityMean mean = ConductivityMean::nodal;
  Tensor3 R{}, K{};
  // Inhomogeneity: row = load case (unit applied field along x, y, z under
  // the field formulation, unit applied flux under the flux formulation),
  // column = component: the mean over the inhomogeneity of the field (flux)
  // per unit applied field (flux), the concentration tensor. Zero for a crack.
  Tensor3 mean_field{};
  // Three load cases for an inhomogeneity; one for a crack (unit normal flux).
  std::vector<LoadCaseStatus> load_cases;
  double max_jump = 0;  // crack: the largest potential jump for unit normal flux
  int conv_flag = 1;    // 1: every load case met tol before the iteration limit
  std::int32_t M = 0;
  double h = 0;
  Box box;
  KernelSpectra spectra = KernelSpectra::octant;
  StageSeconds seconds;
};

ConductivityResult solve_conductivity(ConductivityProblem problem, const SolveOptions& options = {});
ConductivityResult solve_conductivity(ConductivityCrackProblem problem, const SolveOptions& options = {});

}  // namespace contribution
