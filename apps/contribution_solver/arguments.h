#pragma once
// The console program takes no arguments: it reads input.txt. It answers
// --help and --version without touching any file; any other argument is
// refused before anything is read or written.
#include <cstdio>
#include <optional>

namespace csolver {

// The exit status when the arguments are handled here (help, version, a
// mistake), or nothing when the program is to run as usual.
std::optional<int> handle_console_arguments(int argc, const char* const* argv, std::FILE* out, std::FILE* err);

}  // namespace csolver
