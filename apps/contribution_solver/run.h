#pragma once
// The console program: read input.txt, solve through the library with the
// console's progress lines, write the report and result.json.
#include "contribution/solve.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace csolver {

// Progress lines on `out` ("System ready!", one line per iteration, the two
// convergence lines of a load case), BiCGSTAB breakdowns on `err`.
contribution::ProgressCallback console_progress(std::FILE* out, std::FILE* err);

// The crack kernel the console program uses: `specified` unless the variable
// CONTRIBUTION_PLANAR_KERNEL (value of `setting`, null when unset) says
// "exact"; any other value is an error (InputError naming the variable).
contribution::PlanarKernel planar_kernel_setting(const char* setting);
// CONTRIBUTION_PRECISION: unset or "double" (the default), or "mixed";
// InputError naming the environment otherwise.
contribution::Precision precision_setting(const char* setting);

// The whole program in directory `dir`; returns the exit status: 0 done,
// 2 bad input, 1 any other failure (destination, memory, output).
int run_program(const std::filesystem::path& dir, std::FILE* out, std::FILE* err);

}  // namespace csolver
