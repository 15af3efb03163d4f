// The generator's printed summary against what the program reads back and
// the box of the program's run, mirror symmetry of symmetric shapes, and
// failures that must leave no input.txt.
#include "tools/tool_test_support.h"

#include "contribution_solver/input.h"
#include "model/problem_setup.h"
#include "contribution_solver/run.h"
#include "shapes/shapes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <random>
#include <regex>

namespace csolver {
namespace {

using testing::run_generator_captured;
using testing::ScratchDir;

struct ShapeCase {
  const char* name;
  std::vector<std::string> args;
  bool crack;
  bool mirror_symmetric;  // about the grid's centre along each axis
};
// Test names and failure messages show the case name, not its bytes.
void PrintTo(const ShapeCase& c, std::ostream* os) { *os << c.name; }


std::size_t count_flagged(const NodeTable& nodes, bool crack) {
  const std::size_t plane = static_cast<std::size_t>(nodes.N) * static_cast<std::size_t>(nodes.N);
  std::size_t count = 0;
  for (std::size_t n = 0; n < (crack ? plane : nodes.node_flag.size()); ++n) count += nodes.node_flag[n] == 1;
  return count;
}

class GeneratedShape : public ::testing::TestWithParam<ShapeCase> {};

TEST_P(GeneratedShape, ProgramReadsTheNodeCountAndBoxThatWerePrinted) {
  const ShapeCase& c = GetParam();
  ScratchDir dir(std::string("shape_") + c.name);
  std::vector<std::string> args = c.args;
  args.insert(args.end(), {"-o", dir.path().string()});
  const auto run = run_generator_captured(args);
  ASSERT_EQ(run.status, 0) << run.err;

  std::smatch m;
  ASSERT_TRUE(std::regex_search(run.out, m, std::regex(R"(grid: M = (\d+), N = (\d+) nodes)"))) << run.out;
  const int printed_N = std::stoi(m[2]);
  ASSERT_TRUE(std::regex_search(run.out, m, std::regex(R"(flagged nodes: (\d+))"))) << run.out;
  const std::size_t printed_flagged = std::stoul(m[1]);
  BoxBounds printed;
  if (c.crack) {
    ASSERT_TRUE(std::regex_search(run.out, m, std::regex(R"(box: offset \((\d+), (\d+)\) extent (\d+) x (\d+);)"))) << run.out;
    printed = {std::stoi(m[1]), std::stoi(m[2]), 0, std::stoi(m[3]), std::stoi(m[4]), 1};
  } else {
    ASSERT_TRUE(std::regex_search(
        run.out, m, std::regex(R"(box: offset \((\d+), (\d+), (\d+)\) extent (\d+) x (\d+) x (\d+);)"))) << run.out;
    printed = {std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]), std::stoi(m[6])};
  }

  const ProblemInput input = read_problem(dir.path() / "input.txt");
  EXPECT_EQ(input.setup.is_crack(), c.crack);
  EXPECT_EQ(input.setup.N, printed_N);
  EXPECT_EQ(count_flagged(input.nodes, c.crack), printed_flagged);
  EXPECT_GT(printed_flagged, 0u);
  const BoxBounds read = c.crack ? crack_bounds(input.nodes, input.setup.h) : inhomogeneity_bounds(input.nodes, input.setup.h);
  EXPECT_EQ(read.ix0, printed.ix0);
  EXPECT_EQ(read.iy0, printed.iy0);
  EXPECT_EQ(read.nx, printed.nx);
  EXPECT_EQ(read.ny, printed.ny);
  if (!c.crack) {
    EXPECT_EQ(read.iz0, printed.iz0);
    EXPECT_EQ(read.nz, printed.nz);
  }

  // The program's own run on the file reports the same box in result.json.
  std::FILE* console = std::tmpfile();
  const int status = run_program(dir.path(), console, console);
  ASSERT_EQ(status, 0) << testing::read_stream(console);
  std::fclose(console);
  const nlohmann::json result = nlohmann::json::parse(testing::read_text(dir.path() / "result.json"));
  const std::vector<int> offset = result["box"]["offset"], extent = result["box"]["extent"];
  const std::vector<int> printed_offset = c.crack ? std::vector<int>{printed.ix0, printed.iy0}
                                                  : std::vector<int>{printed.ix0, printed.iy0, printed.iz0};
  const std::vector<int> printed_extent = c.crack ? std::vector<int>{printed.nx, printed.ny}
                                                  : std::vector<int>{printed.nx, printed.ny, printed.nz};
  EXPECT_EQ(offset, printed_offset);
  EXPECT_EQ(extent, printed_extent);

  if (c.mirror_symmetric) {
    const NodeTable& nodes = input.nodes;
    const std::int32_t M = nodes.N - 1, kmax = c.crack ? 0 : M;
    std::size_t mismatches = 0;
    for (std::int32_t k = 0; k <= kmax; ++k)
      for (std::int32_t j = 0; j <= M; ++j)
        for (std::int32_t i = 0; i <= M; ++i) {
          const std::int32_t flag = nodes.node_flag[nodes.index(i, j, k)];
          mismatches += flag != nodes.node_flag[nodes.index(M - i, j, k)];
          mismatches += flag != nodes.node_flag[nodes.index(i, M - j, k)];
          if (!c.crack) mismatches += flag != nodes.node_flag[nodes.index(i, j, M - k)];
        }
    EXPECT_EQ(mismatches, 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GeneratedShape,
    ::testing::Values(
        ShapeCase{"sphere", {"sphere", "--radius", "0.5", "--M", "20", "--E1", "10"}, false, true},
        ShapeCase{"sphere_odd_M", {"sphere", "--radius", "0.6", "--M", "15", "--E1", "0.1"}, false, true},
        ShapeCase{"spheroid_rotated", {"spheroid", "--axes", "0.6", "0.2", "--angles", "30", "20", "10", "--M", "24", "--E1", "5"}, false, false},
        ShapeCase{"ellipsoid_off_centre", {"ellipsoid", "--axes", "0.4", "0.3", "0.2", "--center", "0.2", "-0.1", "0", "--M", "20", "--E1", "2"}, false, false},
        ShapeCase{"cuboid", {"cuboid", "--axes", "0.5", "0.3", "0.2", "--M", "20", "--E1", "3"}, false, true},
        ShapeCase{"cylinder", {"cylinder", "--radius", "0.3", "--half-length", "0.6", "--M", "20", "--E1", "3"}, false, true},
        ShapeCase{"torus", {"torus", "--major", "0.5", "--minor", "0.2", "--M", "30", "--E1", "0.5"}, false, true},
        ShapeCase{"supersphere", {"supersphere", "--power", "3", "--radius", "0.55", "--M", "22", "--E1", "4"}, false, true},
        ShapeCase{"penny", {"penny", "--radius", "0.5", "--M", "32"}, true, true},
        ShapeCase{"ellipse_rotated", {"ellipse", "--axes", "0.6", "0.3", "--angle", "25", "--M", "32"}, true, false},
        ShapeCase{"rectangle", {"rectangle", "--axes", "0.5", "0.25", "--M", "20"}, true, true},
        ShapeCase{"annulus", {"annulus", "--radius", "0.6", "--inner", "0.3", "--M", "30"}, true, true}),
    [](const ::testing::TestParamInfo<ShapeCase>& info) { return std::string(info.param.name); });

struct BadCase {
  const char* name;
  std::vector<std::string> args;
  const char* message;  // part of the error message
};
// Test names and failure messages show the case name, not its bytes.
void PrintTo(const BadCase& c, std::ostream* os) { *os << c.name; }


class BadCommandLine : public ::testing::TestWithParam<BadCase> {};

// A failed call must leave an existing input.txt as it was and create none,
// even when it was given leave to replace it (--overwrite).
TEST_P(BadCommandLine, FailsWithAMessageAndWritesNothing) {
  const BadCase& c = GetParam();
  ScratchDir dir(std::string("bad_") + c.name);
  const std::filesystem::path fresh = dir.path() / "fresh", kept = dir.path() / "kept";
  std::filesystem::create_directories(kept);
  {
    std::ofstream(kept / "input.txt") << "earlier input\n";
    std::ofstream(dir.path() / "not_a_tiff.tif") << "plain text\n";
  }
  for (const std::filesystem::path& out_dir : {fresh, kept}) {
    std::vector<std::string> args;
    for (std::string arg : c.args) {
      if (arg == "NOT_A_TIFF") arg = (dir.path() / "not_a_tiff.tif").string();
      args.push_back(arg);
    }
    args.insert(args.end(), {"-o", out_dir.string(), "--overwrite"});
    const auto run = run_generator_captured(args);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(fresh / "input.txt"));
  }
  EXPECT_EQ(testing::read_text(kept / "input.txt"), "earlier input\n");
  // No temporary file left behind either.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(kept), std::filesystem::directory_iterator()), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadCommandLine,
    ::testing::Values(BadCase{"unknown_option", {"sphere", "--E1", "2", "--radios", "0.5"}, "unknown option '--radios'"},
                      BadCase{"unknown_shape", {"blob", "--E1", "2"}, "unknown shape 'blob'"},
                      BadCase{"no_shape", {"--M", "20"}, "no shape given"},
                      BadCase{"missing_value", {"sphere", "--E1", "2", "--radius"}, "--radius needs a number"},
                      BadCase{"not_a_number", {"sphere", "--E1", "2", "--M", "twenty"}, "--M needs a number"},
                      BadCase{"fractional_M", {"sphere", "--E1", "2", "--M", "20.5"}, "--M must be a whole number"},
                      BadCase{"wrong_count", {"ellipsoid", "--E1", "2", "--axes", "0.5", "0.4"}, "--axes takes 3 numbers"},
                      BadCase{"negative_radius", {"sphere", "--E1", "2", "--radius", "-0.5"}, "--radius must be positive"},
                      BadCase{"poisson_ratio", {"sphere", "--E1", "2", "--n0", "0.5"}, "--n0 must lie between"},
                      BadCase{"no_E1", {"sphere", "--radius", "0.5"}, "needs --E1"},
                      BadCase{"foreign_option", {"sphere", "--E1", "2", "--power", "3"}, "--power does not apply"},
                      BadCase{"crack_volume", {"sphere", "--E1", "2", "--crack"}, "--crack needs a planar shape"},
                      BadCase{"empty_shape", {"sphere", "--E1", "2", "--radius", "0.01", "--center", "0.05", "0.05", "0.05"}, "no grid node"},
                      BadCase{"inner_outer", {"annulus", "--radius", "0.3", "--inner", "0.4"}, "--inner must be smaller"},
                      BadCase{"missing_image", {"tiff", "/nonexistent/stack.tif"}, "no such image file"},
                      BadCase{"not_a_tiff", {"tiff", "NOT_A_TIFF"}, "cannot be read as a TIFF file"},
                      BadCase{"raw_without_dims", {"raw", "NOT_A_TIFF", "--type", "u8"}, "needs --dims"},
                      BadCase{"raw_too_short", {"raw", "NOT_A_TIFF", "--dims", "10", "10", "10", "--type", "u8"}, "need exactly 1000"}),
    [](const ::testing::TestParamInfo<BadCase>& info) { return std::string(info.param.name); });

// The writer copies the text of a coordinate it has formatted before; with
// coordinates off the regular grid every value must still read back exactly.
TEST(InputText, EveryRecordReadsBackBitwise) {
  NodeTable nodes = shapes::volume_node_table(6, shapes::inside(shapes::Ellipsoid{}));
  std::mt19937_64 random(12345);
  std::uniform_real_distribution<double> jitter(-1e-3, 1e-3);
  for (std::size_t n = 0; n < nodes.node_flag.size(); n += 3) {
    nodes.node_x[n] += jitter(random);
    nodes.node_y[n] *= 1 + jitter(random);
    nodes.node_z[n] = -nodes.node_z[n] + jitter(random);
    nodes.node_flag[n] = n % 2 == 0 ? 1 : 0;
  }
  const shapes::Materials materials{70000, 0.33, 1.0 / 3.0, 0.1, 1e-7};
  const ProblemInput input = parse_problem(shapes::input_text(nodes, materials, false, "jitter"), "jitter.txt");
  EXPECT_EQ(input.nodes.node_x, nodes.node_x);
  EXPECT_EQ(input.nodes.node_y, nodes.node_y);
  EXPECT_EQ(input.nodes.node_z, nodes.node_z);
  EXPECT_EQ(input.nodes.node_flag, nodes.node_flag);
  EXPECT_EQ(input.setup.E1, 1.0 / 3.0);
  EXPECT_EQ(input.setup.tol, 1e-7);
}

TEST(GeneratorHelp, ListsEveryShapeAndExitsZero) {
  const auto run = run_generator_captured({"--help"});
  EXPECT_EQ(run.status, 0);
  for (const char* word : {"sphere", "ellipsoid", "spheroid", "cuboid", "cylinder", "torus", "supersphere", "penny",
                           "ellipse", "rectangle", "annulus", "tiff", "raw", "--preview", "--threshold", "--label"})
    EXPECT_NE(run.out.find(word), std::string::npos) << word;
}

}  // namespace
}  // namespace csolver
