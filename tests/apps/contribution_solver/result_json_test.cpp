// result.json against result.txt: every matrix entry of the json, printed as
// the report prints it, must give the report's line; and the shipped examples
// run and meet the values their expected.txt states.
#include "tools/tool_test_support.h"
#include "support/bad_inputs.h"

#include "contribution_solver/fortran_format.h"
#include "contribution_solver/result_json.h"
#include "contribution_solver/run.h"
#include "shapes/shapes.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace csolver {
namespace {

namespace fs = std::filesystem;
using testing::read_text;
using testing::ScratchDir;

using testing::split_lines;

// The report's rows under `heading`, as many as the json matrix has.
void expect_rows_match(const std::vector<std::string>& report, const std::string& heading, const nlohmann::json& matrix) {
  const auto at = std::find(report.begin(), report.end(), " " + heading);
  ASSERT_NE(at, report.end()) << heading;
  ASSERT_TRUE(matrix.is_array()) << heading;
  for (std::size_t r = 0; r < matrix.size(); ++r) {
    std::string row;
    for (const auto& entry : matrix[r]) row += format_fixed(entry.get<double>(), 12, 4);
    ASSERT_LT(static_cast<std::size_t>(at - report.begin()) + 1 + r, report.size());
    EXPECT_EQ(row, *(at + 1 + static_cast<std::ptrdiff_t>(r))) << heading << " row " << r + 1;
  }
}

int run_in(const fs::path& dir) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = run_program(dir, out, err);
  const std::string errors = testing::read_stream(err);
  testing::read_stream(out);
  EXPECT_EQ(status, 0) << errors;
  return status;
}

// The report's copy and the json copy share their stem.
void expect_json_copy_beside_report_copy(const fs::path& dir) {
  std::vector<fs::path> copies;
  for (const auto& entry : fs::directory_iterator(dir / "results"))
    if (entry.path().extension() == ".txt") copies.push_back(entry.path());
  ASSERT_EQ(copies.size(), 1u);
  fs::path json_copy = copies[0];
  json_copy.replace_extension(".json");
  ASSERT_TRUE(fs::exists(json_copy));
  EXPECT_EQ(read_text(json_copy), read_text(dir / "result.json"));
}

struct RunCase {
  const char* name;
  bool crack;
  double E0, E1, radius;
  std::int32_t M;
};
// Test names and failure messages show the case name, not its bytes.
void PrintTo(const RunCase& c, std::ostream* os) { *os << c.name; }


class ResultJson : public ::testing::TestWithParam<RunCase> {};

TEST_P(ResultJson, FourDecimalsReproduceTheReportsMatrixLines) {
  const RunCase& c = GetParam();
  ScratchDir dir(std::string("json_") + c.name);
  const shapes::Materials materials{c.E0, 0.3, c.E1, 0.25, 1e-6};
  const NodeTable nodes =
      c.crack ? shapes::crack_node_table(c.M, shapes::inside(shapes::PlanarEllipse{c.radius, c.radius, 0, 0, 0}))
              : shapes::volume_node_table(c.M, shapes::inside(shapes::Ellipsoid{{c.radius, c.radius, c.radius}, {0, 0, 0}, {0, 0, 0}}));
  std::ofstream(dir.path() / "input.txt") << shapes::input_text(nodes, materials, c.crack, c.name);
  ASSERT_EQ(run_in(dir.path()), 0);

  const std::vector<std::string> report = split_lines(read_text(dir.path() / "result.txt"));
  const nlohmann::json result = nlohmann::json::parse(read_text(dir.path() / "result.json"));
  expect_rows_match(report, c.crack ? "Maximal crack opening:" : "Mean stress:", result[c.crack ? "max_opening" : "mean_field"]);
  expect_rows_match(report, "Compliance contribution tensor:", result["H_tensor"]);
  expect_rows_match(report, "Stiffness contribution tensor:", result["N_tensor"]);
  EXPECT_EQ(format_integer(result["symmetry_flag"].get<int>(), 5), report.at(2));
  EXPECT_EQ(result["conv_flag"].get<int>() == 1, report.at(0).rfind(" Convergence correct.", 0) == 0);
  EXPECT_EQ(format_fixed(result["elapsed_seconds"].get<double>(), 10, 3) + " s", report.at(5));
  EXPECT_EQ(result["M"].get<int>(), c.M);
  EXPECT_EQ(result["E0"].get<double>(), c.E0);
  EXPECT_EQ(result["load_cases"].size(), c.crack ? 3u : 6u);
  for (const auto& load_case : result["load_cases"]) EXPECT_LE(load_case["error"].get<double>(), 1e-6);
  EXPECT_EQ(result["formulation"].is_null(), c.crack);
  if (!c.crack) {  // the console's own numerics, named
    EXPECT_EQ(result["formulation_rule"], "specified");
    EXPECT_EQ(result["mean_field_estimate"], "smoothed");
  }
  expect_json_copy_beside_report_copy(dir.path());
}

// Physical units (E0 = 70000): the report's four decimals show zeros where
// the json keeps the values; the comparison must hold all the same.
INSTANTIATE_TEST_SUITE_P(Cases, ResultJson,
                         ::testing::Values(RunCase{"stiff_sphere", false, 1, 10, 0.5, 12},
                                           RunCase{"soft_sphere", false, 1, 0.1, 0.5, 12},
                                           RunCase{"sphere_in_MPa", false, 70000, 400000, 0.5, 10},
                                           RunCase{"penny", true, 1, 1, 0.5, 16},
                                           RunCase{"penny_in_MPa", true, 70000, 70000, 0.5, 16}),
                         [](const ::testing::TestParamInfo<RunCase>& info) { return std::string(info.param.name); });

TEST(ResultJsonCopy, TakesTheStemOfTheReportsCopyIncludingItsSuffix) {
  ScratchDir dir("json_copy");
  fs::create_directories(dir.path() / "results");
  const Destination destination{dir.path(), dir.path() / "results"};
  const ReportPaths report{dir.path() / "result.txt", dir.path() / "results" / "result_20261210_101500_2.txt"};
  const fs::path copy = write_result_json(destination, report, "{\"M\": 3}\n");
  EXPECT_EQ(copy, dir.path() / "results" / "result_20261210_101500_2.json");
  EXPECT_EQ(read_text(copy), "{\"M\": 3}\n");
  EXPECT_EQ(read_text(dir.path() / "result.json"), "{\"M\": 3}\n");
}

// Each example directory holds input.txt and expected.txt, whose lines read
// "MATRIX ROW COLUMN VALUE RELATIVE_TOLERANCE" (1-based; VALUE analytic) or
// "MATRIX ROW COLUMN = ROW COLUMN RELATIVE_TOLERANCE" (two equal entries).
TEST(Examples, RunAndMeetTheirExpectedValues) {
  const fs::path examples = fs::path(CS_SOURCE_DIR) / "examples";
  std::size_t ran = 0;
  for (const auto& entry : fs::directory_iterator(examples)) {
    if (!fs::exists(entry.path() / "input.txt")) continue;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    ScratchDir dir("example_" + name);
    fs::copy_file(entry.path() / "input.txt", dir.path() / "input.txt");
    ASSERT_EQ(run_in(dir.path()), 0);
    const nlohmann::json result = nlohmann::json::parse(read_text(dir.path() / "result.json"));
    EXPECT_EQ(result["conv_flag"].get<int>(), 1);
    EXPECT_EQ(result["symmetry_flag"].get<int>(), 1);
    std::istringstream expected(read_text(entry.path() / "expected.txt"));
    std::size_t checks = 0;
    for (std::string line; std::getline(expected, line);) {
      if (line.empty() || line[0] == '#') continue;
      std::istringstream fields(line);
      std::string matrix, value_text;
      std::size_t row = 0, column = 0;
      double tolerance = 0;
      ASSERT_TRUE(fields >> matrix >> row >> column >> value_text) << line;
      const auto entry = [&](std::size_t r, std::size_t c) { return result.at(matrix).at(r - 1).at(c - 1).get<double>(); };
      double value = 0;
      if (value_text == "=") {  // a relation between two entries (symmetry of the shape)
        std::size_t row2 = 0, column2 = 0;
        ASSERT_TRUE(fields >> row2 >> column2) << line;
        value = entry(row2, column2);
      } else {
        value = std::stod(value_text);
      }
      ASSERT_TRUE(fields >> tolerance) << line;
      EXPECT_NEAR(entry(row, column), value, tolerance * std::abs(value)) << line;
      ++checks;
    }
    EXPECT_GT(checks, 0u) << "expected.txt states no value";
    ++ran;
  }
  EXPECT_GE(ran, 6u);
}

}  // namespace
}  // namespace csolver
