// contribution_solver: compliance and stiffness contribution tensors of one
// inhomogeneity or one planar crack in an isotropic matrix. Reads input.txt in
// the working directory, writes result.txt and a time-stamped copy in results/.
#include "contribution_solver/arguments.h"
#include "contribution_solver/run.h"

#include <cstdio>

int main(int argc, char** argv) {
  if (const auto status = csolver::handle_console_arguments(argc, argv, stdout, stderr)) return *status;
  return csolver::run_program(".", stdout, stderr);
}
