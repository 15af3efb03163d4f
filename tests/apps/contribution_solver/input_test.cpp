#include "contribution_solver/input.h"

#include "shapes/shapes.h"
#include "support/bad_inputs.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h>

namespace csolver {
namespace {

using testing::join;
using testing::small_input;
using testing::BadInput;

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

// A crack's records are all read and checked, but only its plane k = 1 is
// kept: the table follows the plane, not N^3, and flags elsewhere are counted
// so that a crack in the wrong plane can be named.
TEST(Input, ACrackKeepsOnlyItsPlane) {
  const int M = 12;
  NodeTable nodes = shapes::crack_node_table(M, shapes::inside(shapes::PlanarEllipse{0.5, 0.5}));
  nodes.node_flag[nodes.index(3, 4, 5)] = 1;
  nodes.node_x[nodes.index(6, 6, 0)] = 0.25;  // coordinates of the plane are kept as read
  const ProblemInput in = parse_problem(shapes::input_text(nodes, {}, true, "penny"), "input.txt");
  EXPECT_EQ(in.nodes.planes, 1);
  EXPECT_EQ(in.nodes.size(), std::size_t(13 * 13));
  EXPECT_EQ(in.nodes.node_x.size(), std::size_t(13 * 13));
  EXPECT_EQ(in.flagged_elsewhere, 1u);
  EXPECT_EQ(in.nodes.node_x[in.nodes.index(6, 6, 0)], 0.25);
  for (std::int32_t j = 0; j <= M; ++j)
    for (std::int32_t i = 0; i <= M; ++i)
      EXPECT_EQ(in.nodes.node_flag[in.nodes.index(i, j, 0)], nodes.node_flag[nodes.index(i, j, 0)]);
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

INSTANTIATE_TEST_SUITE_P(
    Table, InputErrors, ::testing::ValuesIn(testing::bad_inputs()),
    [](const auto& info) { return testing::test_name(info.param.name); });

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
