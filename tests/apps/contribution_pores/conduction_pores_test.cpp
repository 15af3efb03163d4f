// contribution_pores --physics conductivity in process: balls of an image
// give the insulating sphere's R within their discretization, the effective
// conductivity lies where the schemes order it, and what does not apply to
// this mode is refused.
#include "contribution_pores/run.h"

#include "support/scratch.h"
#include "tools/images/pore_stack.h"
#include "tools/tool_test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

namespace csolver::pores {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

using testing::Captured;

Captured run(const std::vector<std::string>& args) {
  return testing::capture_run([&](std::FILE* out, std::FILE* err) { return run_pores(args, out, err, nullptr); });
}

class ConductionPores : public ::testing::Test {
 public:
  void SetUp() override {
    scratch = std::make_unique<testing::ScratchDir>(testing::current_test_name());
    testing::SyntheticStack stack(44, 22, 22);
    stack.add("ball r6", testing::ball({10, 11, 11}, 6));
    stack.add("ball r8", testing::ball({31, 11, 11}, 8));
    image = scratch->path() / "balls.tif";
    stack.write_tiff(image);
  }
  std::unique_ptr<testing::ScratchDir> scratch;
  fs::path image;
};

TEST_F(ConductionPores, InsulatingBallsGiveTheSpheresRAndTheEffectiveConductivity) {
  const fs::path out = scratch->path() / "out";
  const double k0 = 2;
  const Captured c = run({image.string(), "--threshold", "100", "--physics", "conductivity", "--k0", "2", "--M", "16",
                          "--threads", "1", "-o", out.string()});
  ASSERT_EQ(c.status, 0) << c.out << c.err;
  const json pores = json::parse(testing::read_text(out / "pores.json"));
  const json effective = json::parse(testing::read_text(out / "effective.json"));
  EXPECT_EQ(pores["physics"], "conductivity");
  ASSERT_EQ(pores["pores"].size(), 2u);
  // An insulating sphere: R = 3 / (2 k0) per unit volume in every direction.
  // Voxelized balls of radius 6 and 8 on M = 16 grids: measured 3.9 % low;
  // a lost factor or sign is far outside 10 %.
  for (const json& p : pores["pores"]) {
    ASSERT_EQ(p["status"], "solved");
    EXPECT_TRUE(p["R_error"].is_null());
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_NEAR(p["R_tensor"][i][i].get<double>() / (1.5 / k0), 1.0, 0.1) << p["label"];
      EXPECT_NEAR(p["K_tensor"][i][i].get<double>(), -k0 * k0 * p["R_tensor"][i][i].get<double>(), 1e-12);
    }
  }
  const double phi = effective["porosity"];
  const json& k = effective["conductivity"];
  // Insulating spheres: non-interaction 1 - 3/2 phi < Mori-Tanaka (Maxwell, Hashin-Shtrikman
  // 2 (1 - phi) / (2 + phi)) < non-interaction in resistivity 1 / (1 + 3/2 phi), in units of k0.
  EXPECT_LT(k["nia"].get<double>(), k["mori_tanaka"].get<double>());
  EXPECT_LT(k["mori_tanaka"].get<double>(), k["nia_resistivity"].get<double>());
  // Measured 0.04 phi above it, the pores' own discretization error.
  EXPECT_NEAR(k["mori_tanaka"].get<double>() / k0, 2 * (1 - phi) / (2 + phi), 0.1 * phi);
  EXPECT_NEAR(k["maxwell"].get<double>() / k0, 2 * (1 - phi) / (2 + phi), 0.1 * phi);
  EXPECT_TRUE(fs::exists(out / "pores.csv"));
  EXPECT_FALSE(fs::exists(out / "pores.journal"));
}

TEST_F(ConductionPores, RefusesWhatDoesNotApplyAndWritesNothing) {
  const fs::path out = scratch->path() / "out";
  for (const auto& [extra, message] :
       std::vector<std::pair<std::vector<std::string>, std::string>>{{{"--resume"}, "--resume does not apply"},
                                                                     {{"--k1", "3"}, "must be at least 0 and below --k0"},
                                                                     {{"--E1", "0.1"}, "--E1 does not apply"}}) {
    std::vector<std::string> args{image.string(), "--threshold", "100", "--physics", "conductivity", "-o", out.string()};
    args.insert(args.end(), extra.begin(), extra.end());
    const Captured c = run(args);
    EXPECT_EQ(c.status, 2) << c.err;
    EXPECT_NE(c.err.find(message), std::string::npos) << c.err;
    EXPECT_FALSE(fs::exists(out));
  }
}

}  // namespace
}  // namespace csolver::pores
