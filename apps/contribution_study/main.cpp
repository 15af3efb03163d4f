// contribution_study: converged contribution tensors with error bars from a
// grid-refinement study. `contribution_study --help` lists the options.
#include "contribution_study/study_program.h"

int main(int argc, char** argv) {
  return csolver::study_tool::run_study_program(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
