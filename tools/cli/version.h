#pragma once
// What every front end answers to --version: its name, the project's version
// (from CMake) and the FFTW it was linked with.
#include <string>

namespace csolver::cli {

// "NAME VERSION (contribution_solver project), FFTW fftw-3.x.y\n"
std::string version_text(const char* program);

}  // namespace csolver::cli
