#pragma once
// contribution_pores --physics conductivity: every kept pore solved for its
// resistivity contribution tensor R (per unit pore volume) on the elastic
// run's ladder of grids (or one grid: --M, --nodes-per-voxel), and the
// effective conductivity of the image's matrix by the non-interaction
// approximation (both forms), Mori-Tanaka and Maxwell.
//
// Files: pores.csv and pores.json (R and K of every pore, on a ladder the
// extrapolated limits with R_error and K_error; null on one grid),
// effective.json (each scheme's conductivity, on a ladder with the half-width
// the pores' bars allow). Runs in this process only: no journal, no MPI; a
// stopped run writes nothing.
#include "cli/command_line.h"
#include "contribution_pores/options.h"
#include "contribution_pores/schedule.h"

#include <cstdio>

namespace csolver::pores {

// --k0 (default 1), --k1 (default 0, up to inf; below k0) and --tol; refuses
// --resume and the elastic materials.
void read_conduction_options(cli::Options& o, PoresOptions& p);

// Exit status as run_pores: 0 all solved, 1 some failed (files written), 2
// nothing to solve, 128 + signal when stopped.
int run_conduction_pores(ReadOptions read, std::FILE* out, std::FILE* err, Distributor* distributor);

}  // namespace csolver::pores
