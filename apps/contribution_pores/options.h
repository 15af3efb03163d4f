#pragma once
// The command line of contribution_pores. The image's own options (--threshold,
// --label, --invert, --voxel, --dims, --type, --header-bytes) and the
// materials (--E0 --n0 --E1 --n1 --tol) are read by the front ends' shared
// code, exactly as contribution_input reads them.
#include "cli/command_line.h"
#include "cli/contrast_options.h"
#include "cli/material_options.h"
#include "contribution/precision.h"
#include "images/pore_properties.h"
#include "images/pore_sampling.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace csolver::pores {

// A pore is modelled as a very soft inhomogeneity, E1 = PORE_MODULUS_RATIO E0,
// under the console program's numerics, unless --E1 (0: an exact void),
// --formulation or --mean-field say otherwise. Measured (docs/pores.md): the
// exact void under the bounded formulation with the coefficient mean takes
// 7-20 iterations per load case instead of 60-130 and is closer on spheres
// (-5 % against +7 % at M = 24), but on a single grid it loses most of a flat
// pore's normal compliance (H33 of a spheroid of aspect 0.2: -62 % against
// -10 % at M = 24), so the stand-in stays the default.
inline constexpr double PORE_MODULUS_RATIO = 1e-3;
inline constexpr std::int32_t DEFAULT_M = 24;
// Without --M or --nodes-per-voxel each pore is solved on these grids and
// every entry extrapolated to h = 0 with the refinement study's rule, which
// gives the pore's tensors an error bar (docs/pores.md: measured on sphere
// pores and their cost against one M = 24 grid with the stand-in).
// Seven levels on the smooth sampling: the extrapolation's noise estimate
// needs the degrees of freedom (six levels, or a top of 28, widened bars
// past 15 % on some sphere pores), and the void's few iterations per level,
// at LADDER_TOL and solved side by side, keep the ladder cheaper than one
// M = 24 grid with the stand-in.
inline constexpr std::int32_t DEFAULT_LADDER[] = {16, 18, 20, 22, 24, 28, 32};
// BiCGSTAB's tolerance on the ladder, both physics. Measured on 24 sphere
// pores: every entry of H moves by at most 1e-3 of its bar (1.4e-5 of the
// diagonal) from the solves to 1e-6, in 0.55 of the time.
inline constexpr double LADDER_TOL = 1e-2;
inline constexpr std::size_t MAX_LADDER_LEVELS = 8;  // --ladder M1,M2,... (a task message holds this many)
inline constexpr std::int32_t SMALLEST_M = 4;
// The library's largest volume grid has N = 1290 nodes per axis.
inline constexpr std::int32_t LARGEST_M = 1289;

struct PoresOptions {
  std::string image_file;
  std::string image_kind;  // "tiff" or "raw" (raw when --dims or --type is given)
  std::filesystem::path dir;
  image::Connectivity connectivity = image::Connectivity::twenty_six;
  image::PoreFilter filter;
  std::int32_t M = DEFAULT_M;   // 0 when the grid follows nodes_per_voxel or the ladder
  // Non-empty: the ladder of grids (M increasing) every pore is solved on,
  // then extrapolated; empty: one grid (--M or --nodes-per-voxel).
  std::vector<std::int32_t> ladder;
  double nodes_per_voxel = 0;
  image::Placement placement;
  // How the pore's voxels become node flags: nearest voxel (contribution_input's
  // rule; the default on one grid) or the smoothed surface (the default on the
  // ladder: every level sees the same shape, docs/pores.md).
  image::PoreSampling sampling = image::PoreSampling::nearest;
  cli::MaterialOptions materials;
  cli::ContrastOptions contrast;  // the measured choice unless --formulation or --mean-field
  int threads = 0;              // 0: automatic (see docs/pores.md)
  // FFTW_ESTIMATE by default: the same plans in every process, so serial,
  // resumed and MPI runs give the same numbers. Measured plans differ from
  // process to process, and BiCGSTAB at a pore's contrast carries that
  // rounding into H at 1e-4 relative (tol 1e-6).
  bool measure_plans = false;
  contribution::Precision precision = contribution::Precision::mixed;  // CONTRIBUTION_PRECISION
  bool resume = false;
  bool overwrite = false;  // replace an earlier run's files once this run's are complete
  bool vtk = false;        // also write pores.vti
  std::string selection;        // "value >= 100", ...
  // --physics conductivity: each pore's resistivity contribution tensor in a
  // matrix of conductivity k0, the pore's own conductivity k1 (0: empty),
  // and the effective conductivity (conduction_pores.h).
  bool conduction = false;
  double k0 = 1, k1 = 0;
};

// The options and the image's inside voxels: everything is checked before
// anything is written. Throws cli::UsageError or image::ImageError.
struct ReadOptions {
  PoresOptions options;
  image::Mask mask;
};
cli::CommandLine parse_pores_command_line(const std::vector<std::string>& args);
ReadOptions read_pores_options(const cli::CommandLine& cl);

std::string help_text();

}  // namespace csolver::pores
