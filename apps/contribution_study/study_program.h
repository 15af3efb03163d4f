#pragma once
// contribution_study: one shape solved on several grids in this process,
// every tensor entry extrapolated to h = 0 with an error bar. The command line
// is parsed here so that tests can call it.
#include <cstdio>
#include <string>
#include <vector>

namespace csolver::study_tool {

// args without the program name. Returns the exit status: 0 done, 2 bad
// command line or image (nothing written), 1 another failure, 130 stopped by
// SIGINT (study.json keeps the finished levels).
int run_study_program(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

std::string help_text();

}  // namespace csolver::study_tool
