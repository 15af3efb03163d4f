#pragma once
// Reading input.txt: the header values, the N^3 node records and tol.
//
// Layout (1-based lines of a well-formed file): 2 E0, 3 n0, 5 E1, 6 n1,
// 9 problem_type, 11 function_text (verbatim), 13 M, 15 .. 14 + N^3 node
// records "x y z flag", 16 + N^3 tol; the other lines are captions. A value
// line is read in free format: its first value (blank- or comma-separated) is
// taken and the rest ignored; a line without any value is skipped.
#include "model/problem_setup.h"

#include <cstddef>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace csolver {

// Bad input: names the file, the line (0 where none applies), what was found
// and what was expected.
class InputError : public std::runtime_error {
 public:
  InputError(const std::filesystem::path& file, std::size_t line, const std::string& message);
  std::size_t line() const { return line_; }

 private:
  std::size_t line_;
};

struct ProblemInput {
  ProblemSetup setup;
  NodeTable nodes;  // all N^3 nodes, or for a crack the N^2 of its plane k = 1
  std::size_t flagged_elsewhere = 0;  // crack: nodes flagged 1 outside that plane
};

// Checks the memory a node table of N^2 * planes nodes needs before it is
// allocated; the hook lets callers reject a grid that cannot fit.
using NodeTableCheck = void (*)(std::int32_t N, std::int32_t planes);

// Reads and checks the whole file and derives the constants; throws
// InputError on anything that would give no result or a meaningless one.
ProblemInput read_problem(const std::filesystem::path& file, NodeTableCheck check_node_table = nullptr);

// The same, from text already in memory (`name` is used in messages).
ProblemInput parse_problem(const std::string& text, const std::filesystem::path& name,
                           NodeTableCheck check_node_table = nullptr);

}  // namespace csolver
