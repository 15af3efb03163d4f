// contribution_solver: compliance and stiffness contribution tensors of one
// inhomogeneity or one planar crack in an isotropic matrix. Reads input.txt in
// the working directory, writes result.txt and a time-stamped copy in results/.
#include "contribution_solver/run.h"

#include <cstdio>

int main() { return csolver::run_program(".", stdout, stderr); }
