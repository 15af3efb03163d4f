// contribution_study as a user runs it: bad command lines, the files of a
// small study whose error bars must hold the analytic values, and a study
// stopped by SIGINT that keeps its finished levels.
#include "contribution_study/study_program.h"

#include "support/analytic.h"
#include "support/scratch.h"
#include "tools/tool_test_support.h"

#include <cairo.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace csolver {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using testing::Captured;

Captured run_study(const std::vector<std::string>& args) {
  return testing::capture_run(
      [&](std::FILE* out, std::FILE* err) { return study_tool::run_study_program(args, out, err); });
}

struct BadStudy {
  const char* name;
  std::vector<std::string> args;
  const char* message;
};
void PrintTo(const BadStudy& c, std::ostream* os) { *os << c.name; }

class BadStudyCommandLine : public ::testing::TestWithParam<BadStudy> {};

TEST_P(BadStudyCommandLine, FailsWithAMessageAndWritesNothing) {
  const testing::ScratchDir dir(testing::current_test_name());
  std::vector<std::string> args = GetParam().args;
  args.push_back("-o");
  args.push_back((dir.path() / "out").string());
  const Captured c = run_study(args);
  EXPECT_EQ(c.status, 2) << c.err;
  EXPECT_NE(c.err.find(GetParam().message), std::string::npos) << c.err;
  EXPECT_FALSE(fs::exists(dir.path() / "out"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BadStudyCommandLine,
    ::testing::Values(
        BadStudy{"no_levels", {"penny"}, "give the grid levels"},
        BadStudy{"empty_list", {"penny", "--M", ""}, "comma-separated list"},
        BadStudy{"not_a_number", {"penny", "--M", "16,2x,32"}, "comma-separated list"},
        BadStudy{"unsorted", {"penny", "--M", "16,32,24"}, "expected the levels in increasing order"},
        BadStudy{"repeated", {"penny", "--M", "16,24,24,32"}, "expected the levels in increasing order"},
        BadStudy{"below_four", {"penny", "--M", "3,8,16"}, "found the level M = 3, expected M >= 4"},
        BadStudy{"two_levels", {"penny", "--M", "16,32"}, "expected at least 3"},
        BadStudy{"unknown_option", {"penny", "--M", "16,24,32", "--colour", "red"}, "unknown option '--colour'"},
        BadStudy{"option_of_no_shape", {"penny", "--M", "16,24,32", "--power", "3"}, "does not apply to shape penny"},
        BadStudy{"no_contrast", {"sphere", "--M", "8,12,16"}, "an inhomogeneity needs --E1"},
        BadStudy{"kernel_of_a_volume", {"sphere", "--E1", "2", "--M", "8,12,16", "--kernel", "exact"}, "cracks only"},
        BadStudy{"negative_modulus", {"sphere", "--E1", "-1", "--M", "8,12,16"}, "found --E1 = -1, expected a Young's modulus > 0, or exactly 0 or infinity"},
        BadStudy{"modulus_not_a_number", {"sphere", "--E1", "soft", "--M", "8,12,16"}, "--E1 takes a number or inf"},
        BadStudy{"unknown_formulation", {"sphere", "--E1", "0", "--M", "8,12,16", "--formulation", "dual"},
                 "--formulation takes bounded, specified"},
        BadStudy{"unknown_mean_field", {"sphere", "--E1", "0", "--M", "8,12,16", "--mean-field", "mean"},
                 "--mean-field takes coefficient"},
        BadStudy{"formulation_of_a_crack", {"penny", "--M", "8,12,16", "--formulation", "bounded"},
                 "inhomogeneities only"},
        BadStudy{"void_under_compliance", {"sphere", "--E1", "0", "--M", "8,12,16", "--formulation", "compliance"},
                 "infinite compliance contrast"},
        BadStudy{"rigid_under_stiffness", {"sphere", "--E1", "inf", "--M", "8,12,16", "--formulation", "stiffness"},
                 "infinite stiffness contrast"},
        BadStudy{"seed_without_shifts", {"sphere", "--E1", "2", "--M", "8,12,16", "--seed", "3"},
                 "--seed applies with --shifts"},
        BadStudy{"too_many_shifts", {"sphere", "--E1", "2", "--M", "8,12,16", "--shifts", "65"},
                 "--shifts must be a whole number from 1 to 64"},
        BadStudy{"unknown_kernel", {"penny", "--M", "8,12,16", "--kernel", "Exact"}, "'exact' or 'specified'"},
        BadStudy{"unreadable_image", {"tiff", "/nonexistent.tif", "--E1", "2", "--M", "8,12,16"}, "nonexistent"}),
    [](const ::testing::TestParamInfo<BadStudy>& info) { return std::string(info.param.name); });

void expect_covers(const json& extrapolated, std::size_t r, std::size_t c, double truth, const char* what) {
  const double value = extrapolated["H_tensor"][r][c], error = extrapolated["H_error"][r][c];
  EXPECT_LE(std::abs(value - truth), error) << what << ": " << value << " +- " << error << " against " << truth;
  EXPECT_GT(error, 0.0) << what;
}

// Small studies already give bars that hold the analytic values: a stiff
// sphere and a penny-shaped crack with the exact kernel.
TEST(Study, ErrorBarsOfSmallStudiesHoldTheAnalyticValues) {
  const testing::ScratchDir dir(testing::current_test_name());
  const Captured sphere = run_study({"sphere", "--radius", "0.5", "--E1", "10", "--M", "10,12,14,16,20", "-o",
                                     (dir.path() / "sphere").string()});
  ASSERT_EQ(sphere.status, 0) << sphere.err;
  const json s = json::parse(testing::read_text(dir.path() / "sphere" / "study.json"));
  EXPECT_EQ(s["problem"], "inhomogeneity");
  // The measured default: the bounded formulation (compliance for a stiff
  // inclusion) with the coefficient mean.
  EXPECT_EQ(s["formulation"], "compliance");
  EXPECT_EQ(s["formulation_rule"], "bounded");
  EXPECT_EQ(s["mean_field_estimate"], "coefficient");
  EXPECT_EQ(s["complete"], true);
  ASSERT_EQ(s["levels"].size(), 5u);
  EXPECT_EQ(s["levels"][4]["M"], 20);
  EXPECT_EQ(s["levels"][4]["h"], 0.1f);
  EXPECT_EQ(s["levels"][4]["iterations"].size(), 6u);
  const testing::SphereTensor eshelby = testing::eshelby_sphere(1, 0.3, 10, 0.3);
  expect_covers(s["extrapolated"], 0, 0, eshelby.H11, "sphere H11");
  expect_covers(s["extrapolated"], 0, 1, eshelby.H12, "sphere H12");
  // Shear order 23, 13, 12 under the compliance formulation; a sphere's shear entries are equal.
  expect_covers(s["extrapolated"], 3, 3, eshelby.H44, "sphere H44");
  EXPECT_EQ(s["extrapolated"]["H_error"][0][3], 0.0);  // a symmetry zero stays exactly zero

  const Captured penny = run_study({"penny", "--radius", "0.5", "--M", "16,20,24,28,32,40", "-o",
                                    (dir.path() / "penny").string()});
  ASSERT_EQ(penny.status, 0) << penny.err;
  const json p = json::parse(testing::read_text(dir.path() / "penny" / "study.json"));
  EXPECT_EQ(p["kernel"], "exact");
  const testing::PennyTensor exact = testing::penny_crack(0.5, 1, 0.3);
  expect_covers(p["extrapolated"], 2, 2, exact.H33, "penny H33");
  expect_covers(p["extrapolated"], 3, 3, exact.H44, "penny H44");
  // The table and the picture: one panel per nonzero main entry (H33, H44, H55).
  const std::string table = testing::read_text(dir.path() / "penny" / "study.txt");
  EXPECT_NE(table.find("Extrapolated to h = 0"), std::string::npos);
  EXPECT_NE(penny.out.find(table.substr(0, 40)), std::string::npos);
  cairo_surface_t* png = cairo_image_surface_create_from_png((dir.path() / "penny" / "study.png").c_str());
  EXPECT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(cairo_image_surface_get_width(png), 1200);
  EXPECT_EQ(cairo_image_surface_get_height(png), 440);
  cairo_surface_destroy(png);
}

// --shifts K: each level the mean of K solves of the shape moved by sub-step
// offsets. The same seed repeats the study exactly, another seed moves the
// levels, and the bar of a penny-shaped crack holds the analytic value.
// An analytic crack takes three shifts (seed 1) unless told otherwise.
TEST(Study, ShiftedLevelsAreReproducibleMeansThatHoldThePenny) {
  const testing::ScratchDir dir(testing::current_test_name());
  auto study = [&](const std::string& name, const std::vector<std::string>& extra) {
    std::vector<std::string> args = {"penny", "--radius", "0.5", "--M", "16,20,24,28,32", "--threads", "1", "-o",
                                     (dir.path() / name).string()};
    args.insert(args.end(), extra.begin(), extra.end());
    const Captured c = run_study(args);
    EXPECT_EQ(c.status, 0) << c.err;
    return json::parse(testing::read_text(dir.path() / name / "study.json"));
  };
  const json plain = study("plain", {"--shifts", "1"});
  const json by_default = study("default", {});
  const json a = study("a", {"--shifts", "3", "--seed", "7"});
  const json b = study("b", {"--shifts", "3", "--seed", "7"});
  const json c = study("c", {"--shifts", "3", "--seed", "8"});
  EXPECT_EQ(plain["shifts"], 1);
  EXPECT_TRUE(plain["shift_seed"].is_null());
  EXPECT_EQ(by_default["shifts"], 3);
  EXPECT_EQ(by_default["shift_seed"], 1);
  EXPECT_NE(by_default["levels"][4]["H_tensor"][2][2], plain["levels"][4]["H_tensor"][2][2]);
  EXPECT_EQ(a["shifts"], 3);
  EXPECT_EQ(a["shift_seed"], 7);
  for (std::size_t l = 0; l < 5; ++l) {
    EXPECT_EQ(a["levels"][l]["H_tensor"], b["levels"][l]["H_tensor"]) << l;
    EXPECT_NE(a["levels"][l]["H_tensor"][2][2], c["levels"][l]["H_tensor"][2][2]) << l;
    EXPECT_NE(a["levels"][l]["H_tensor"][2][2], plain["levels"][l]["H_tensor"][2][2]) << l;
  }
  expect_covers(a["extrapolated"], 2, 2, testing::penny_crack(0.5, 1, 0.3).H33, "shifted penny H33");
}

// Starts a study of two small levels and one that takes far longer than this
// waits, into `dir` (with --overwrite when asked), sends SIGINT once
// `watched` holds the two small levels, and returns the wait status.
int interrupt_during_third_level(const fs::path& dir, const fs::path& watched, bool overwrite) {
  const pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    execl(CONTRIBUTION_STUDY, CONTRIBUTION_STUDY, "sphere", "--E1", "0.2", "--threads", "1", "--M", "8,10,64", "-o",
          dir.c_str(), overwrite ? "--overwrite" : static_cast<char*>(nullptr), static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 600; ++i) {
    if (fs::exists(watched) && json::parse(testing::read_text(watched))["levels"].size() == 2) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  kill(child, SIGINT);
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

// SIGINT during a level: the program stops within an iteration, exits with
// 130 and study.json holds the levels finished before, marked incomplete.
TEST(Study, AnInterruptedStudyKeepsItsFinishedLevels) {
  const testing::ScratchDir dir(testing::current_test_name());
  const fs::path json_path = dir.path() / "study.json";
  const int status = interrupt_during_third_level(dir.path(), json_path, false);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  const json s = json::parse(testing::read_text(json_path));
  EXPECT_EQ(s["complete"], false);
  ASSERT_EQ(s["levels"].size(), 2u);
  EXPECT_EQ(s["levels"][1]["M"], 10);
  EXPECT_TRUE(s["extrapolated"].is_null());
  EXPECT_FALSE(fs::exists(dir.path() / "study.txt"));
}

// The same interruption of a study given --overwrite over a finished one:
// the earlier study's three files are as they were, and the levels finished
// go to study.partial.json.
TEST(Study, AnInterruptedOverwriteLeavesTheEarlierStudyWhole) {
  const testing::ScratchDir dir(testing::current_test_name());
  const std::string first_command = std::string("'") + CONTRIBUTION_STUDY + "' penny --M 4,6,8 -o '" + dir.path().string() +
                                    "' > /dev/null";
  ASSERT_EQ(std::system(first_command.c_str()), 0);
  std::map<std::string, std::string> earlier;
  for (const char* name : {"study.json", "study.txt", "study.png"}) earlier[name] = testing::read_text(dir.path() / name);
  const fs::path partial = dir.path() / "study.partial.json";
  const int status = interrupt_during_third_level(dir.path(), partial, true);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  for (const auto& [name, text] : earlier) EXPECT_EQ(testing::read_text(dir.path() / name), text) << name;
  const json s = json::parse(testing::read_text(partial));
  EXPECT_EQ(s["complete"], false);
  EXPECT_EQ(s["levels"].size(), 2u);
}

}  // namespace
}  // namespace csolver
