// contribution_input: writes input.txt for contribution_solver from an
// analytic shape or an image. `contribution_input --help` lists the options.
#include "contribution_input/generator.h"

int main(int argc, char** argv) {
  return csolver::generator::run_generator(std::vector<std::string>(argv + 1, argv + argc), stdout, stderr);
}
