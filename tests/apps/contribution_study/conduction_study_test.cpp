// contribution_study --physics conductivity as a user runs it: the command
// lines it refuses, and the files of small studies of a sphere and a penny
// crack, whose extrapolated R must lie near the closed forms.
#include "contribution_study/study_program.h"

#include "support/conduction_analytic.h"
#include "support/scratch.h"
#include "tools/tool_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

namespace csolver {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using testing::Captured;

Captured run_study(std::vector<std::string> args, const fs::path& dir) {
  args.push_back("-o");
  args.push_back(dir.string());
  return testing::capture_run(
      [&](std::FILE* out, std::FILE* err) { return study_tool::run_study_program(args, out, err); });
}

json read_json(const fs::path& path) {
  std::ifstream in(path);
  return json::parse(in);
}

TEST(ConductionStudyCommandLine, RefusesWhatDoesNotApplyAndWritesNothing) {
  const testing::ScratchDir dir(testing::current_test_name());
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"sphere", "--physics", "conductivity", "--M", "8,12,16"}, "needs --k1"},
      {{"penny", "--physics", "conductivity", "--k1", "0", "--M", "16,24,32"}, "--k1 does not apply to a crack"},
      {{"sphere", "--physics", "conductivity", "--k1", "-1", "--M", "8,12,16"}, "--k1 takes"},
      {{"sphere", "--physics", "conductivity", "--k1", "lots", "--M", "8,12,16"}, "--k1 takes"},
      {{"sphere", "--physics", "conductivity", "--k0", "0", "--k1", "1", "--M", "8,12,16"}, "--k0 must be positive"},
      {{"sphere", "--physics", "conductivity", "--k0", "1e-320", "--k1", "1", "--M", "8,12,16"}, "found k0 = "},
      {{"sphere", "--physics", "conductivity", "--k1", "1e-320", "--M", "8,12,16"}, "--k1 takes"},
      {{"sphere", "--physics", "conductivity", "--k1", "2", "--E1", "3", "--M", "8,12,16"}, "--E1 does not apply"},
      {{"sphere", "--physics", "heat", "--k1", "2", "--M", "8,12,16"}, "--physics takes"},
      {{"sphere", "--E1", "2", "--k1", "3", "--M", "8,12,16"}, "--k1 does not apply"},
      {{"sphere", "--physics", "both", "--k1", "3", "--M", "8,12,16"}, "--physics both applies to cracks"},
  };
  for (const auto& [args, message] : cases) {
    const Captured c = run_study(args, dir.path() / "out");
    EXPECT_EQ(c.status, 2) << args[0] << " " << message << ": " << c.err;
    EXPECT_NE(c.err.find(message), std::string::npos) << c.err;
    EXPECT_FALSE(fs::exists(dir.path() / "out"));
  }
}

TEST(ConductionStudy, SphereStudyWritesRAndKWithErrorBarsNearTheClosedForm) {
  const testing::ScratchDir dir(testing::current_test_name());
  const Captured c =
      run_study({"sphere", "--physics", "conductivity", "--k0", "2", "--k1", "inf", "--M", "12,16,20,24"}, dir.path());
  ASSERT_EQ(c.status, 0) << c.err;
  const json j = read_json(dir.path() / "study.json");
  EXPECT_EQ(j["physics"], "conductivity");
  EXPECT_EQ(j["formulation"], "flux");
  EXPECT_EQ(j["materials"]["k1"], "inf");
  EXPECT_EQ(j["distance_margin"], 0.75);  // the nodal mean's rising order
  ASSERT_EQ(j["levels"].size(), 4u);
  for (const char* key : {"R_tensor", "K_tensor"}) EXPECT_EQ(j["levels"][0][key].size(), 3u);
  const json& x = j["extrapolated"];
  for (const char* key : {"R_tensor", "R_error", "K_tensor", "K_error"}) ASSERT_EQ(x[key].size(), 3u) << key;
  // Perfect conductor: R = -3/k0 per unit volume; these coarse levels are
  // 14 to 30 % short, the extrapolation within 10 %.
  const double R = x["R_tensor"][0][0];
  EXPECT_NEAR(R / (-1.5), 1.0, 0.1);
  EXPECT_GT(static_cast<double>(x["R_error"][0][0]), 0.0);
  EXPECT_NEAR(static_cast<double>(x["K_tensor"][1][1]), -4 * static_cast<double>(x["R_tensor"][1][1]), 1e-9);
  EXPECT_EQ(x["R_tensor"][0][1], 0.0);  // a mirror plane's zero stays zero
  EXPECT_TRUE(fs::exists(dir.path() / "study.txt"));
  EXPECT_TRUE(fs::exists(dir.path() / "study.png"));
  EXPECT_NE(c.out.find("R11"), std::string::npos);
}

TEST(ConductionStudy, PennyCrackStudyExtrapolatesR33) {
  const testing::ScratchDir dir(testing::current_test_name());
  const Captured c = run_study({"penny", "--physics", "conductivity", "--M", "32,48,64,96,128"}, dir.path());
  ASSERT_EQ(c.status, 0) << c.err;
  // A second study into the finished study's folder is refused; the first survives whole.
  const std::string first = testing::read_text(dir.path() / "study.json");
  const Captured again = run_study({"penny", "--physics", "conductivity", "--M", "8,12,16"}, dir.path());
  EXPECT_EQ(again.status, 2) << again.err;
  EXPECT_NE(again.err.find("--overwrite"), std::string::npos) << again.err;
  EXPECT_EQ(testing::read_text(dir.path() / "study.json"), first);
  const json j = read_json(dir.path() / "study.json");
  EXPECT_EQ(j["problem"], "crack");
  EXPECT_EQ(j["mean"], "smoothed");
  EXPECT_EQ(j["distance_margin"], 0.25);
  const double R33 = j["extrapolated"]["R_tensor"][2][2];
  EXPECT_NEAR(R33 / testing::crack_r33(0.5, 0.5, 1), 1.0, 0.05);
  EXPECT_EQ(j["extrapolated"]["R_tensor"][0][0], 0.0);
  EXPECT_EQ(j["levels"][0]["iterations"].size(), 1u);
}

// The opening and the potential jump of one crack solve the same operator:
// H33/R33 = 2 (1 - n0^2) k0 / E0 on every level, to the solver's tolerance.
TEST(ConductionStudy, BothPhysicsOfACrackGiveTheCrossPropertyRatio) {
  const testing::ScratchDir dir(testing::current_test_name());
  const Captured c = run_study({"ellipse", "--axes", "0.5", "0.3", "--physics", "both", "--k0", "3", "--E0", "2", "--n0",
                                "0.25", "--M", "16,24,32"},
                               dir.path());
  ASSERT_EQ(c.status, 0) << c.err;
  const json x = read_json(dir.path() / "study.json")["cross_property"];
  const double closed = 2 * (1 - 0.25 * 0.25) * 3 / 2;
  EXPECT_DOUBLE_EQ(x["closed_form"].get<double>(), closed);
  ASSERT_EQ(x["levels"].size(), 3u);
  for (const json& level : x["levels"]) EXPECT_NEAR(level["ratio"].get<double>(), closed, 1e-6 * closed);
  EXPECT_NEAR(x["ratio"].get<double>(), closed, 1e-6 * closed);
  EXPECT_NE(c.out.find("H33/R33"), std::string::npos);
}

}  // namespace
}  // namespace csolver
