#include "contribution_solver/arguments.h"

#include "cli/version.h"

#include <string>

namespace csolver {

namespace {
constexpr const char* USAGE = R"(Usage: contribution_solver [--help | --version]

Reads input.txt in the working directory (the problem: matrix and
inhomogeneity or crack, grid and node flags; contribution_input writes one)
and solves it. Writes result.txt and result.json there and a time-stamped copy
of the report in results/. Takes no other arguments.

Environment: CONTRIBUTION_PLANAR_KERNEL=specified|exact (crack kernel),
OMP_NUM_THREADS (threads). Exit status: 0 solved, 2 unusable input.txt,
1 other failure, 130 interrupted.
)";
}  // namespace

std::optional<int> handle_console_arguments(int argc, const char* const* argv, std::FILE* out, std::FILE* err) {
  if (argc <= 1) return std::nullopt;
  const std::string first = argv[1];
  if (argc == 2 && (first == "--help" || first == "-h")) {
    std::fputs(USAGE, out);
    return 0;
  }
  if (argc == 2 && first == "--version") {
    std::fputs(cli::version_text("contribution_solver").c_str(), out);
    return 0;
  }
  std::fprintf(err, "contribution_solver: takes no arguments (it reads input.txt), got '%s'\nTry 'contribution_solver --help'.\n",
               argc == 2 ? first.c_str() : (first + " ...").c_str());
  return 2;
}

}  // namespace csolver
