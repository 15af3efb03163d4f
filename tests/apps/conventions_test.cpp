// What every program does with a conventional command line, as a user runs
// it: --help and --version answer and do no work (the console program leaves
// result.txt alone and still runs with no arguments), -o "" is a usage
// error, a whole number reads alike everywhere, a folder holding an earlier
// run's files is refused unless --overwrite, and a study that fails at once
// leaves no folder behind.
#include "images/image_volume.h"
#include "support/run_program.h"
#include "tools/images/hostile_tiff.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fstream>

namespace csolver {
namespace {

namespace fs = std::filesystem;
using testing::program_command;
using testing::run_in;

struct Program {
  const char* name;
  const char* path;
};
const Program PROGRAMS[] = {{"contribution_solver", CONTRIBUTION_SOLVER},
                            {"contribution_input", CONTRIBUTION_INPUT},
                            {"contribution_study", CONTRIBUTION_STUDY},
                            {"contribution_pores", CONTRIBUTION_PORES}};

std::size_t entries(const fs::path& dir) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

TEST(Conventions, EveryProgramAnswersHelpAndVersionAndDoesNothingElse) {
  testing::ScratchDir dir(testing::current_test_name());
  for (const Program& p : PROGRAMS) {
    SCOPED_TRACE(p.name);
    const testing::ProgramOutcome version = run_in(dir.path(), program_command(p.path, {"--version"}), "version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind(std::string(p.name) + " " CS_PROJECT_VERSION " (contribution_solver project), FFTW fftw-3.", 0), 0u)
        << version.out;
    const testing::ProgramOutcome help = run_in(dir.path(), program_command(p.path, {"--help"}), "help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(std::string("Usage: ") + p.name, 0), 0u) << help.out;
    EXPECT_EQ(entries(dir.path()), 4u) << "only the captured consoles";
  }
}

TEST(Conventions, ConsoleProgramHelpLeavesResultAloneAndNoArgumentsStillSolve) {
  testing::ScratchDir dir(testing::current_test_name());
  ASSERT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_INPUT, {"sphere", "--M", "4", "--E1", "2"})).status, 0);
  std::ofstream(dir.path() / "result.txt") << "an earlier report\n";
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"}, {"--version"}, {"-h"}}) {
    EXPECT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_SOLVER, args)).status, 0) << args[0];
    EXPECT_EQ(testing::read_text(dir.path() / "result.txt"), "an earlier report\n") << args[0];
  }
  const testing::ProgramOutcome other = run_in(dir.path(), program_command(CONTRIBUTION_SOLVER, {"input.txt"}));
  EXPECT_EQ(other.status, 2);
  EXPECT_NE(other.err.find("takes no arguments"), std::string::npos) << other.err;
  EXPECT_FALSE(fs::exists(dir.path() / "results"));
  EXPECT_FALSE(fs::exists(dir.path() / "result.json"));
  EXPECT_EQ(testing::read_text(dir.path() / "result.txt"), "an earlier report\n");
  // With no arguments it solves, as it always did.
  EXPECT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_SOLVER, {})).status, 0);
  EXPECT_NE(testing::read_text(dir.path() / "result.txt").find("Compliance contribution tensor"), std::string::npos);
}

TEST(Conventions, EmptyOutputDirectoryIsAUsageError) {
  testing::ScratchDir dir(testing::current_test_name());
  const std::vector<std::pair<const char*, std::vector<std::string>>> calls = {
      {CONTRIBUTION_INPUT, {"sphere", "--M", "4", "--E1", "2", "-o", ""}},
      {CONTRIBUTION_STUDY, {"penny", "--M", "4,6,8", "-o", ""}},
      {CONTRIBUTION_PORES, {"absent.tif", "-o", ""}}};
  for (const auto& [program, args] : calls) {
    const testing::ProgramOutcome o = run_in(dir.path(), program_command(program, args));
    EXPECT_EQ(o.status, 2) << program;
    EXPECT_NE(o.err.find("option -o needs a directory name"), std::string::npos) << o.err;
  }
  EXPECT_EQ(entries(dir.path()), 2u);
}

TEST(Conventions, WholeNumbersReadAlikeInEveryTool) {
  testing::ScratchDir dir(testing::current_test_name());
  ASSERT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_INPUT, {"penny", "--M", "1e1", "-o", "a"})).status, 0);
  ASSERT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_INPUT, {"penny", "--M", "10", "-o", "b"})).status, 0);
  EXPECT_EQ(testing::read_text(dir.path() / "a" / "input.txt"), testing::read_text(dir.path() / "b" / "input.txt"));
  const testing::ProgramOutcome study = run_in(dir.path(), program_command(CONTRIBUTION_STUDY, {"penny", "--M", "4e0,6.0,8", "-o", "s"}));
  ASSERT_EQ(study.status, 0) << study.err;
  const auto levels = nlohmann::json::parse(testing::read_text(dir.path() / "s" / "study.json"))["levels"];
  ASSERT_EQ(levels.size(), 3u);
  EXPECT_EQ(levels[0]["M"], 4);
  EXPECT_EQ(levels[1]["M"], 6);
  // And a fraction is refused by both.
  EXPECT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_INPUT, {"penny", "--M", "10.5", "-o", "c"})).status, 2);
  EXPECT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_STUDY, {"penny", "--M", "4,6.5,8", "-o", "d"})).status, 2);
}

// A second study into a finished study's folder is refused and the first
// study.json survives; with --overwrite the new study replaces the old files
// once it is complete, and leaves no partial file.
TEST(Conventions, EarlierStudyAndInputAreRefusedUnlessOverwrite) {
  testing::ScratchDir dir(testing::current_test_name());
  const std::vector<std::string> first = {"penny", "--M", "4,6,8", "--text", "first", "-o", "s"};
  ASSERT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_STUDY, first)).status, 0);
  const std::string study = testing::read_text(dir.path() / "s" / "study.json");
  std::vector<std::string> second = {"penny", "--M", "4,6,8,10", "--text", "second", "-o", "s"};
  const testing::ProgramOutcome refused = run_in(dir.path(), program_command(CONTRIBUTION_STUDY, second));
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("holds the files of an earlier study (study.json, study.txt, study.png); give --overwrite"),
            std::string::npos)
      << refused.err;
  EXPECT_EQ(testing::read_text(dir.path() / "s" / "study.json"), study);
  second.push_back("--overwrite");
  ASSERT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_STUDY, second)).status, 0);
  EXPECT_NE(testing::read_text(dir.path() / "s" / "study.json").find("\"second\""), std::string::npos);
  EXPECT_NE(testing::read_text(dir.path() / "s" / "study.txt").find("second"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir.path() / "s" / "study.partial.json"));

  ASSERT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_INPUT, {"penny", "--M", "6", "-o", "i"})).status, 0);
  const std::string input = testing::read_text(dir.path() / "i" / "input.txt");
  EXPECT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_INPUT, {"penny", "--M", "8", "-o", "i"})).status, 2);
  EXPECT_EQ(testing::read_text(dir.path() / "i" / "input.txt"), input);
  EXPECT_EQ(run_in(dir.path(), program_command(CONTRIBUTION_INPUT, {"penny", "--M", "8", "-o", "i", "--overwrite"})).status, 0);
  EXPECT_NE(testing::read_text(dir.path() / "i" / "input.txt"), input);
}

// Zero contrast is a valid question: zero tensors, a picture, status 0. An
// empty shape or an unusable modulus is refused before a folder is made.
TEST(Conventions, ZeroContrastIsAnsweredAndHopelessStudiesLeaveNoFolder) {
  testing::ScratchDir dir(testing::current_test_name());
  const testing::ProgramOutcome zero =
      run_in(dir.path(), program_command(CONTRIBUTION_STUDY, {"sphere", "--E1", "1", "--M", "4,6,8", "-o", "zero"}));
  ASSERT_EQ(zero.status, 0) << zero.err;
  const auto study = nlohmann::json::parse(testing::read_text(dir.path() / "zero" / "study.json"));
  for (const auto& row : study["extrapolated"]["H_tensor"])
    for (const auto& value : row) EXPECT_EQ(value.get<double>(), 0.0);
  EXPECT_GT(fs::file_size(dir.path() / "zero" / "study.png"), 1000u);

  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  for (const Case& c : {Case{{"sphere", "--radius", "0.01", "--center", "0.1", "0.1", "0.1", "--E1", "2"}, "no grid node lies inside the shape at M = 4"},
                        Case{{"sphere", "--E0", "1e-320", "--E1", "2"}, "a subnormal number has lost its digits"},
                        Case{{"sphere", "--E1", "1e308"}, "expected a contrast between 1e-100 and 1e100"}}) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--M", "4,6,8", "-o", "none"});
    const testing::ProgramOutcome o = run_in(dir.path(), program_command(CONTRIBUTION_STUDY, args));
    EXPECT_EQ(o.status, 2) << c.message;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_FALSE(fs::exists(dir.path() / "none")) << c.message;
    // The same refusal from the input generator.
    std::vector<std::string> input = c.args;
    input.insert(input.end(), {"--M", "4", "-o", "none"});
    const testing::ProgramOutcome i = run_in(dir.path(), program_command(CONTRIBUTION_INPUT, input));
    EXPECT_EQ(i.status, 2) << c.message;
    EXPECT_FALSE(fs::exists(dir.path() / "none")) << c.message;
  }
}

// Hostile images end every image-reading program with status 2 at once: the
// strip bomb (0.9 MB declaring 10 GB), a stack cut in half.
TEST(Conventions, HostileImagesAreRefusedWithStatus2) {
  testing::ScratchDir dir(testing::current_test_name());
  testing::write_bytes(dir.path() / "bomb.tif", testing::strip_bomb(100000));
  std::vector<std::uint16_t> samples(9 * 9 * 9, 0);
  samples[4 + 9 * (4 + 9 * 4)] = 200;
  image::write_tiff_stack(dir.path() / "whole.tif", 9, 9, 9, samples, 8);
  const std::vector<std::uint8_t> whole = testing::read_bytes(dir.path() / "whole.tif");
  testing::write_bytes(dir.path() / "cut.tif", std::vector<std::uint8_t>(whole.begin(), whole.begin() + whole.size() / 2));
  auto names_the_damage = [](const std::string& err) {
    return err.find("truncated or damaged") != std::string::npos || err.find("damaged or hostile") != std::string::npos;
  };
  for (const char* file : {"bomb.tif", "cut.tif"}) {
    for (const auto& [program, args] : std::vector<std::pair<const char*, std::vector<std::string>>>{
             {CONTRIBUTION_INPUT, {"tiff", file, "--E1", "2", "-o", "i"}},
             {CONTRIBUTION_STUDY, {"tiff", file, "--E1", "0.1", "--M", "4,6,8", "-o", "s"}},
             {CONTRIBUTION_PORES, {file, "-o", "p"}}}) {
      const testing::ProgramOutcome o = run_in(dir.path(), program_command(program, args));
      EXPECT_EQ(o.status, 2) << program << " " << file;
      EXPECT_TRUE(names_the_damage(o.err)) << o.err;
      EXPECT_NE(o.err.find(file), std::string::npos) << o.err;
    }
  }
  for (const char* folder : {"i", "s", "p"}) EXPECT_FALSE(fs::exists(dir.path() / folder)) << folder;
}

}  // namespace
}  // namespace csolver
