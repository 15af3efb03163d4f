#include "driver/input.h"

#include "shapes/shapes.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace csolver {
namespace {

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string join(const std::vector<std::string>& lines, const char* ending = "\n") {
  std::string text;
  for (const std::string& line : lines) text += line + ending;
  return text;
}

// A small sphere problem (M = 2, 27 node records) as lines of input.txt.
std::vector<std::string> small_input(bool crack = false) {
  const NodeTable nodes = crack ? shapes::crack_node_table(2, [](double x, double y) { return x * x + y * y < 0.5; })
                                : shapes::volume_node_table(2, [](const shapes::Point& p) {
                                    return p[0] * p[0] + p[1] * p[1] + p[2] * p[2] < 0.5;
                                  });
  shapes::Materials m;
  m.E1 = 10;
  return split_lines(shapes::input_text(nodes, m, crack, "small sphere"));
}

TEST(Input, ReadsAWellFormedFile) {
  const ProblemInput in = parse_problem(join(small_input()), "input.txt");
  EXPECT_EQ(in.setup.E0, 1.0);
  EXPECT_EQ(in.setup.n0, 0.3);
  EXPECT_EQ(in.setup.E1, 10.0);
  EXPECT_EQ(in.setup.problem_type, 1);
  EXPECT_EQ(in.setup.M, 2);
  EXPECT_EQ(in.setup.N, 3);
  EXPECT_EQ(in.setup.h, 1.0);
  EXPECT_EQ(in.setup.tol, 1e-6);
  EXPECT_EQ(in.setup.function_text.size(), 100u);
  EXPECT_EQ(in.setup.function_text.substr(0, 13), "small sphere ");
  EXPECT_EQ(in.nodes.node_flag[in.nodes.index(1, 1, 1)], 1);
  EXPECT_EQ(in.nodes.node_flag[in.nodes.index(0, 1, 1)], 0);
  EXPECT_EQ(in.nodes.node_x[in.nodes.index(2, 0, 1)], 1.0);
  EXPECT_EQ(in.nodes.node_z[in.nodes.index(2, 0, 1)], 0.0);
  EXPECT_DOUBLE_EQ(in.setup.G0, 1 / 2.6);
  EXPECT_NEAR((in.setup.S0 * in.setup.C0 - Matrix6::Identity()).norm(), 0, 1e-14);
}

// Captions after the numbers, commas, Fortran D exponents, blank value lines
// and CRLF line endings all read the same values.
TEST(Input, FreeFormatVariantsReadTheSameValues) {
  const ProblemInput plain = parse_problem(join(small_input()), "input.txt");
  std::vector<std::string> lines = small_input();
  lines[1] = "1.0D0, Young's modulus of the matrix";
  lines[2] = "  +0.3  0.4 0.5";
  lines[12] = "2 intervals";
  lines[14] = "-1.0,-1.0,-1.0,0,extra";
  lines.insert(lines.begin() + 4, "");  // a blank line where E1 is due is skipped
  const ProblemInput variant = parse_problem(join(lines, "\r\n"), "input.txt");
  EXPECT_EQ(variant.setup.E0, plain.setup.E0);
  EXPECT_EQ(variant.setup.n0, plain.setup.n0);
  EXPECT_EQ(variant.setup.E1, plain.setup.E1);
  EXPECT_EQ(variant.setup.M, plain.setup.M);
  EXPECT_EQ(variant.setup.tol, plain.setup.tol);
  EXPECT_EQ(variant.nodes.node_flag, plain.nodes.node_flag);
  EXPECT_EQ(variant.nodes.node_x, plain.nodes.node_x);
}

TEST(Input, FunctionTextIsCutOrPaddedToOneHundredCharacters) {
  std::vector<std::string> lines = small_input();
  lines[10] = std::string(130, 'x');
  EXPECT_EQ(parse_problem(join(lines), "input.txt").setup.function_text, std::string(100, 'x'));
  lines[10] = "";
  EXPECT_EQ(parse_problem(join(lines), "input.txt").setup.function_text, std::string(100, ' '));
}

struct BadInput {
  const char* name;
  std::function<void(std::vector<std::string>&)> mutate;
  std::size_t line;
  const char* fragment;
};

class InputErrors : public ::testing::TestWithParam<BadInput> {};

TEST_P(InputErrors, NameTheLineWhatWasFoundAndWhatWasExpected) {
  const BadInput& c = GetParam();
  std::vector<std::string> lines = small_input();
  c.mutate(lines);
  try {
    parse_problem(join(lines), "input.txt");
    FAIL() << "accepted: " << c.name;
  } catch (const InputError& e) {
    EXPECT_EQ(e.line(), c.line) << e.what();
    EXPECT_NE(std::string(e.what()).find(c.fragment), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("input.txt"), std::string::npos);
  }
}

// Line numbers of small_input(): 2 E0, 3 n0, 5 E1, 6 n1, 9 type, 13 M,
// 15-41 node records, 43 tol.
INSTANTIATE_TEST_SUITE_P(
    Table, InputErrors,
    ::testing::Values(
        BadInput{"empty", [](auto& l) { l.clear(); }, 1, "unexpected end of file"},
        BadInput{"truncated header", [](auto& l) { l.resize(8); }, 9, "expected an integer (problem_type)"},
        BadInput{"word for E0", [](auto& l) { l[1] = "one"; }, 2, "found 'one', expected a real number (E0)"},
        BadInput{"E0 zero", [](auto& l) { l[1] = "0"; }, 2, "expected a Young's modulus > 0"},
        BadInput{"E0 NaN", [](auto& l) { l[1] = "nan"; }, 2, "E0 = nan"},
        BadInput{"n0 one half", [](auto& l) { l[2] = "0.5"; }, 3, "Poisson's ratio in (-1, 0.5)"},
        BadInput{"E1 zero (a pore)", [](auto& l) { l[4] = "0"; }, 5, "small positive E1"},
        BadInput{"n1 infinite", [](auto& l) { l[5] = "inf"; }, 6, "n1 = inf"},
        BadInput{"decimal point in M", [](auto& l) { l[12] = "2.0"; }, 13, "found '2.0', expected an integer (M"},
        BadInput{"M zero", [](auto& l) { l[12] = "0"; }, 13, "expected 1 <= M"},
        BadInput{"M negative", [](auto& l) { l[12] = "-3"; }, 13, "expected 1 <= M"},
        BadInput{"N^3 beyond 32 bits", [](auto& l) { l[12] = "1290"; }, 13, "expected 1 <= M <= 1289"},
        BadInput{"M beyond 32 bits", [](auto& l) { l[12] = "99999999999"; }, 13, "expected an integer"},
        BadInput{"decimal point in a flag", [](auto& l) { l[20] = "0 0 0 1.0"; }, 21, "expected an integer flag"},
        BadInput{"record with three values", [](auto& l) { l[20] = "0 0 0"; }, 21, "found 3 value(s)"},
        BadInput{"NaN coordinate", [](auto& l) { l[16] = "-1 -1 nan 0"; }, 17, "finite real coordinate"},
        BadInput{"non-ASCII bytes", [](auto& l) { l[16] = "\xc3\xa9\xff 1 1 0"; }, 17, "found '\\xc3\\xa9\\xff'"},
        BadInput{"fewer node records", [](auto& l) { l.resize(30); }, 31, "unexpected end of file, expected a node record"},
        BadInput{"no tol", [](auto& l) { l.pop_back(); }, 43, "expected a real number (tol"},
        BadInput{"tol negative", [](auto& l) { l.back() = "-1e-6"; }, 43, "expected a finite tolerance >= 0"},
        BadInput{"tol NaN", [](auto& l) { l.back() = "NaN"; }, 43, "expected a finite tolerance >= 0"}),
    [](const auto& info) {
      std::string name = info.param.name;
      for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
      return name;
    });

// Streaming from a file in blocks: lines longer than a block, lines across
// block boundaries and a last line without its newline read as from memory.
TEST(Input, FileIsReadLikeTheSameTextInMemory) {
  std::vector<std::string> lines = small_input();
  lines[0] = std::string(3 << 20, 'c');
  lines[3] = std::string((1 << 20) - 7, ' ');
  std::string text = join(lines);
  text.pop_back();  // no newline after tol
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("cs_input_" + std::to_string(::getpid()) + ".txt");
  std::ofstream(file, std::ios::binary) << text;
  const ProblemInput from_file = read_problem(file);
  std::filesystem::remove(file);
  const ProblemInput from_memory = parse_problem(text, "input.txt");
  EXPECT_EQ(from_file.setup.tol, from_memory.setup.tol);
  EXPECT_EQ(from_file.setup.E1, from_memory.setup.E1);
  EXPECT_EQ(from_file.nodes.node_x, from_memory.nodes.node_x);
  EXPECT_EQ(from_file.nodes.node_flag, from_memory.nodes.node_flag);
}

TEST(Input, MissingFileIsNamed) {
  try {
    read_problem("/nonexistent/input.txt");
    FAIL();
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/input.txt"), std::string::npos);
  }
}

// The crack branch does not use the inhomogeneity's constants.
TEST(Input, CrackBranchAcceptsAnyInhomogeneityConstants) {
  std::vector<std::string> lines = small_input(true);
  lines[4] = "0";
  EXPECT_EQ(parse_problem(join(lines), "input.txt").setup.problem_type, 0);
}

TEST(Input, VeryLongLinesAreReadAndCut) {
  std::vector<std::string> lines = small_input();
  lines[0] = std::string(1 << 20, 'c');
  lines[1] = "1.0 " + std::string(1 << 20, ' ') + "x";
  EXPECT_EQ(parse_problem(join(lines), "input.txt").setup.E0, 1.0);
}

}  // namespace
}  // namespace csolver
