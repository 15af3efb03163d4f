#pragma once
// A small valid input.txt as lines, and the table of ways to spoil it: shared
// by the reader's unit tests (line numbers, messages) and the program tests
// (exit status, untouched results), for both branches.
#include "shapes/shapes.h"

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace csolver::testing {

inline std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::string join(const std::vector<std::string>& lines, const char* ending = "\n") {
  std::string text;
  for (const std::string& line : lines) text += line + ending;
  return text;
}

// A small sphere (or disk-shaped crack) problem, M = 2: 27 node records.
// Line numbers: 2 E0, 3 n0, 5 E1, 6 n1, 9 type, 13 M, 15-41 nodes, 43 tol.
inline std::vector<std::string> small_input(bool crack = false) {
  const NodeTable nodes = crack ? shapes::crack_node_table(2, [](double x, double y) { return x * x + y * y < 0.5; })
                                : shapes::volume_node_table(2, [](const shapes::Point& p) {
                                    return p[0] * p[0] + p[1] * p[1] + p[2] * p[2] < 0.5;
                                  });
  shapes::Materials m;
  m.E1 = 10;
  return split_lines(shapes::input_text(nodes, m, crack, "small sphere"));
}

struct BadInput {
  const char* name;
  std::function<void(std::vector<std::string>&)> mutate;
  std::size_t line;
  const char* fragment;
  bool inhomogeneity_only = false;  // the crack branch does not use E1, n1
};

inline std::vector<BadInput> bad_inputs() {
  using Lines = std::vector<std::string>;
  return {
      {"empty", [](Lines& l) { l.clear(); }, 1, "unexpected end of file"},
      {"truncated header", [](Lines& l) { l.resize(8); }, 9, "expected an integer (problem_type)"},
      {"word for E0", [](Lines& l) { l[1] = "one"; }, 2, "found 'one', expected a real number (E0)"},
      {"E0 zero", [](Lines& l) { l[1] = "0"; }, 2, "expected a Young's modulus > 0"},
      {"E0 NaN", [](Lines& l) { l[1] = "nan"; }, 2, "E0 = nan"},
      {"E0 subnormal", [](Lines& l) { l[1] = "1e-320"; }, 2, "a subnormal number has lost its digits"},
      {"n0 one half", [](Lines& l) { l[2] = "0.5"; }, 3, "Poisson's ratio in (-1, 0.5)"},
      {"E1 zero (a pore)", [](Lines& l) { l[4] = "0"; }, 5, "small positive E1", true},
      {"n1 infinite", [](Lines& l) { l[5] = "inf"; }, 6, "n1 = inf", true},
      {"decimal point in problem type", [](Lines& l) { l[8] = "1.0"; }, 9, "expected an integer (problem_type)"},
      {"decimal point in M", [](Lines& l) { l[12] = "2.0"; }, 13, "found '2.0', expected an integer (M"},
      {"M zero", [](Lines& l) { l[12] = "0"; }, 13, "expected 1 <= M"},
      {"M negative", [](Lines& l) { l[12] = "-3"; }, 13, "expected 1 <= M"},
      {"N^3 beyond 32 bits", [](Lines& l) { l[12] = "1290"; }, 13, "expected 1 <= M <= 1289"},
      {"M beyond 32 bits", [](Lines& l) { l[12] = "99999999999"; }, 13, "expected an integer"},
      {"decimal point in a flag", [](Lines& l) { l[20] = "0 0 0 1.0"; }, 21, "expected an integer flag"},
      {"record with three values", [](Lines& l) { l[20] = "0 0 0"; }, 21, "found 3 value(s)"},
      {"NaN coordinate", [](Lines& l) { l[16] = "-1 -1 nan 0"; }, 17, "finite real coordinate"},
      {"infinite coordinate", [](Lines& l) { l[16] = "-inf -1 0 0"; }, 17, "finite real coordinate"},
      {"non-ASCII bytes", [](Lines& l) { l[16] = "\xc3\xa9\xff 1 1 0"; }, 17, "found '\\xc3\\xa9\\xff'"},
      {"very long garbage line", [](Lines& l) { l[16] = std::string(1 << 20, '#'); }, 17, "found 1 value(s)"},
      {"fewer node records", [](Lines& l) { l.resize(30); }, 31, "unexpected end of file, expected a node record"},
      {"no tol", [](Lines& l) { l.pop_back(); }, 43, "expected a real number (tol"},
      {"tol negative", [](Lines& l) { l.back() = "-1e-6"; }, 43, "expected a finite tolerance >= 0"},
      {"tol NaN", [](Lines& l) { l.back() = "NaN"; }, 43, "expected a finite tolerance >= 0"},
  };
}

inline std::string test_name(const char* name) {
  std::string out = name;
  for (char& c : out)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return out;
}

}  // namespace csolver::testing
