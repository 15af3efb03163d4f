#pragma once
// contribution_input: writes the program's input.txt for an analytic shape or
// an image, prints what a user checks before a long run, and can draw a
// preview. The command line is parsed here so that tests can call it.
#include <cstdio>
#include <string>
#include <vector>

namespace csolver::generator {

// args without the program name. Returns the exit status: 0 written,
// 2 bad command line or unusable image (nothing written), 1 write failure.
int run_generator(const std::vector<std::string>& args, std::FILE* out, std::FILE* err);

std::string help_text();

}  // namespace csolver::generator
