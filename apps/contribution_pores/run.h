#pragma once
// contribution_pores: the pores of a 3-D image, each solved on its own grid,
// and the effective properties of the porous solid. The command line is
// parsed here so that tests can call it.
#include "contribution_pores/schedule.h"

#include <cstdio>
#include <string>
#include <vector>

namespace csolver::pores {

// args without the program name; `distributor` is null for a serial run.
// Returns the exit status: 0 every pore solved and the files written; 1 the
// files written but some pore failed, or an output error; 2 bad command
// line, unusable image, no pore, or a journal that does not match;
// 128 + signal when stopped.
int run_pores(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, Distributor* distributor);

}  // namespace csolver::pores
