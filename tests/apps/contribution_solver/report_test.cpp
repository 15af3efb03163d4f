// The report's format: fixed-width fields and the order of the lines of
// both layouts, compared line by line with what the format rules give.
#include "contribution_solver/report.h"

#include "contribution_solver/fortran_format.h"
#include "support/problems.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

TEST(FortranFormat, FixedFields) {
  struct Case {
    double value;
    int width, decimals;
    const char* expected;
  };
  for (const Case& c : {Case{1.0, 10, 4, "    1.0000"}, Case{-0.5, 12, 4, "     -0.5000"},
                        Case{12.3456789, 10, 3, "    12.346"}, Case{-0.0, 12, 4, "      0.0000"},
                        Case{-0.00001, 12, 4, "     -0.0000"}, Case{1234567.0, 10, 4, "**********"},
                        Case{-1234567.0, 12, 4, "************"}, Case{-123456.0, 12, 4, "-123456.0000"}, Case{99999.99999, 10, 4, "**********"},
                        Case{std::nan(""), 12, 4, "         NaN"}, Case{-INFINITY, 12, 4, "   -Infinity"},
                        Case{INFINITY, 5, 1, "  Inf"}}) {
    EXPECT_EQ(format_fixed(c.value, c.width, c.decimals), c.expected) << c.value;
  }
  EXPECT_EQ(format_integer(20, 5), "   20");
  EXPECT_EQ(format_integer(123456, 5), "*****");
}

ProblemSetup report_setup(int problem_type) {
  ProblemSetup setup = testing::make_setup(1, 0.3, 10, 0.25, 20, 1e-6, problem_type);
  setup.function_text = "Sphere" + std::string(94, ' ');
  return setup;
}

TEST(Report, InhomogeneityLayout) {
  InhomogeneityTensors t;
  t.symmetry_flag = 1;
  t.mean_field = Matrix6::Identity() * 0.25;
  t.H_tensor = Matrix6::Constant(-0.5);
  t.N_tensor = Matrix6::Constant(12345678.0);
  const std::vector<std::string> lines = inhomogeneity_report_lines(report_setup(1), t, 1, 12.3456);
  std::vector<std::string> expected{" Convergence correct. ",
                                    " Symmetry:",
                                    "    1",
                                    "",
                                    " Elapsed time:",
                                    "    12.346 s",
                                    "",
                                    " Matrix properties:",
                                    " E0=    1.0000",
                                    " n0=    0.3000",
                                    " G0=    0.3846",
                                    " Inhomogeneity properties:",
                                    " E1=   10.0000",
                                    " n1=    0.2500",
                                    " G1=    4.0000",
                                    " Inhomogeneity function:",
                                    " Sphere" + std::string(94, ' '),
                                    " Number of discretization intervals:",
                                    "   20",
                                    "",
                                    " Mean stress:"};
  for (int r = 0; r < 6; ++r) {
    std::string row;
    for (int c = 0; c < 6; ++c) row += r == c ? "      0.2500" : "      0.0000";
    expected.push_back(row);
  }
  expected.push_back("");
  expected.push_back(" Compliance contribution tensor:");
  for (int r = 0; r < 6; ++r) {
    std::string row;
    for (int c = 0; c < 6; ++c) row += "     -0.5000";
    expected.push_back(row);
  }
  expected.push_back(" Stiffness contribution tensor:");
  for (int r = 0; r < 6; ++r) expected.push_back(std::string(72, '*'));
  ASSERT_EQ(lines.size(), 42u);
  for (std::size_t i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << "line " << i + 1;
}

TEST(Report, CrackLayout) {
  CrackTensors t;
  t.H_tensor(2, 2) = 1.25;
  Matrix3 max_opening = Matrix3::Zero();
  max_opening(2, 2) = 0.875;
  const std::vector<std::string> lines = crack_report_lines(report_setup(0), max_opening, t, 1, 0.5);
  ASSERT_EQ(lines.size(), 36u);
  EXPECT_EQ(lines[0], " Convergence correct.");
  EXPECT_EQ(lines[2], "    1");
  EXPECT_EQ(lines[5], "     0.500 s");
  EXPECT_EQ(lines[10], " G0=    0.3846");
  EXPECT_EQ(lines[11], "");
  EXPECT_EQ(lines[12], " Inhomogeneity function:");
  EXPECT_EQ(lines[13].size(), 101u);
  EXPECT_EQ(lines[15], "   20");
  EXPECT_EQ(lines[16], "");
  EXPECT_EQ(lines[17], " Maximal crack opening:");
  EXPECT_EQ(lines[20], "      0.0000      0.0000      0.8750");
  EXPECT_EQ(lines[21], "");
  EXPECT_EQ(lines[22], " Compliance contribution tensor:");
  EXPECT_EQ(lines[25], "      0.0000      0.0000      1.2500      0.0000      0.0000      0.0000");
  EXPECT_EQ(lines[29], " Stiffness contribution tensor:");
}

TEST(Report, UnconvergedRunsSayIt) {
  const std::vector<std::string> lines = inhomogeneity_report_lines(report_setup(1), InhomogeneityTensors{}, 0, 1);
  EXPECT_EQ(lines[0], " Solution may not converge correctly.");
  const std::vector<std::string> crack = crack_report_lines(report_setup(0), Matrix3::Zero(), CrackTensors{}, 0, 1);
  EXPECT_EQ(crack[0], " Solution may not converge correctly.");
}

}  // namespace
}  // namespace csolver
