#include "cli/version.h"

#include <fftw3.h>

#ifndef CS_PROJECT_VERSION
#error "CS_PROJECT_VERSION comes from CMake's project(VERSION)"
#endif

namespace csolver::cli {

std::string version_text(const char* program) {
  return std::string(program) + " " CS_PROJECT_VERSION " (contribution_solver project), FFTW " + fftw_version + "\n";
}

}  // namespace csolver::cli
