// contribution_pores against damaged journals, reused folders and images it
// cannot use. A damaged first record is refused and left byte for byte;
// damage further on is reported with its position, the damaged journal kept
// aside, and every record that verifies is kept, so that only the damaged
// record's pore is solved again. A folder holding an earlier run's files is
// refused unless --overwrite, whose run replaces them only once complete.
#include "support/run_program.h"
#include "tools/images/pore_stack.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace csolver {
namespace {

namespace fs = std::filesystem;

std::size_t count_lines_starting(const std::string& text, const std::string& prefix) {
  std::size_t n = 0;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t end = text.find('\n', at);
    n += text.compare(at, prefix.size(), prefix) == 0 ? 1 : 0;
    if (end == std::string::npos) break;
    at = end + 1;
  }
  return n;
}

void write_text(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary | std::ios::trunc) << text; }

TEST(PoresJournalDamage, FirstRecordRefusedLaterRecordsKept) {
  testing::ScratchDir dir(testing::current_test_name());
  testing::SyntheticStack stack(40, 16, 16);
  for (int i = 0; i < 3; ++i) stack.add("ball " + std::to_string(i), testing::ball({6.0 + 13 * i, 8, 8}, 3.5));
  stack.write_tiff(dir.path() / "balls.tif");
  const std::vector<std::string> common = {"balls.tif", "--threshold", "100", "--M", "6", "--threads", "1", "-o", "out"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = common;
    args.insert(args.end(), extra.begin(), extra.end());
    return testing::program_command(CONTRIBUTION_PORES, args);
  };
  const testing::ProgramOutcome whole = testing::run_in(dir.path(), with({}), "whole");
  ASSERT_EQ(whole.status, 0) << whole.err;
  const fs::path journal = dir.path() / "out" / "pores.journal";
  const std::string intact = testing::read_text(journal);
  const std::string csv = testing::read_text(dir.path() / "out" / "pores.csv");
  ASSERT_EQ(count_lines_starting(intact, ""), 4u);

  // One flipped byte in the run's parameters: refused, with or without --resume.
  std::string first = intact;
  first[40] ^= 1;
  write_text(journal, first);
  for (const std::vector<std::string>& extra : {std::vector<std::string>{}, std::vector<std::string>{"--resume"}}) {
    const testing::ProgramOutcome o = testing::run_in(dir.path(), with(extra), "first");
    EXPECT_EQ(o.status, 2) << o.out << o.err;
    EXPECT_NE(o.err.find("the first record (the run's parameters) is damaged: line 1 (byte 0)"), std::string::npos) << o.err;
    EXPECT_EQ(testing::read_text(journal), first) << "the journal was touched";
  }

  // One flipped byte in the second pore's record: --resume reports it, keeps
  // the other two pores and solves only that one again.
  std::string later = intact;
  const std::size_t line3 = intact.find('\n', intact.find('\n') + 1) + 1;
  later[line3 + 60] ^= 2;
  write_text(journal, later);
  const testing::ProgramOutcome named = testing::run_in(dir.path(), with({}), "named");
  EXPECT_EQ(named.status, 2);
  EXPECT_NE(named.err.find("(2 pores solved; DAMAGED line 3 (byte " + std::to_string(line3) + ")"), std::string::npos)
      << named.err;
  EXPECT_EQ(testing::read_text(journal), later);
  const testing::ProgramOutcome resumed = testing::run_in(dir.path(), with({"--resume"}), "resumed");
  ASSERT_EQ(resumed.status, 0) << resumed.out << resumed.err;
  EXPECT_NE(resumed.out.find("DAMAGED line 3 (byte " + std::to_string(line3) + ") fails its length or CRC check"),
            std::string::npos)
      << resumed.out;
  EXPECT_NE(resumed.out.find("resumed with 2 of 3 pores already solved"), std::string::npos) << resumed.out;
  EXPECT_EQ(count_lines_starting(resumed.out, " ["), 1u) << resumed.out;
  EXPECT_EQ(testing::read_text(dir.path() / "out" / "pores.journal.damaged"), later);
  EXPECT_EQ(testing::read_text(dir.path() / "out" / "pores.csv"), csv);
  EXPECT_EQ(count_lines_starting(testing::read_text(journal), ""), 4u);
}

TEST(PoresFolder, EarlierRunRefusedUnlessOverwrite) {
  testing::ScratchDir dir(testing::current_test_name());
  testing::SyntheticStack stack(24, 16, 16);
  stack.add("ball", testing::ball({8, 8, 8}, 3.5));
  stack.write_tiff(dir.path() / "ball.tif");
  const std::vector<std::string> common = {"ball.tif", "--threshold", "100", "--M", "6", "--threads", "1", "-o", "out"};
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> args = common;
    args.insert(args.end(), extra.begin(), extra.end());
    return testing::program_command(CONTRIBUTION_PORES, args);
  };
  ASSERT_EQ(testing::run_in(dir.path(), with({}), "first").status, 0);
  const fs::path out = dir.path() / "out";
  const std::string journal = testing::read_text(out / "pores.journal"), json = testing::read_text(out / "pores.json");

  // Only the files, no journal: refused all the same, nothing touched.
  fs::rename(out / "pores.journal", dir.path() / "kept.journal");
  const testing::ProgramOutcome refused = testing::run_in(dir.path(), with({}), "refused");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("holds the files of an earlier population run (pores.csv, pores.json, effective.json, pores.png)"),
            std::string::npos)
      << refused.err;
  EXPECT_FALSE(fs::exists(out / "pores.journal"));
  EXPECT_EQ(testing::read_text(out / "pores.json"), json);
  fs::rename(dir.path() / "kept.journal", out / "pores.journal");

  EXPECT_EQ(testing::run_in(dir.path(), with({"--resume", "--overwrite"}), "both").status, 2);
  const testing::ProgramOutcome again = testing::run_in(dir.path(), with({"--overwrite"}), "again");
  ASSERT_EQ(again.status, 0) << again.out << again.err;
  EXPECT_NE(again.out.find("kept as out/pores.journal.earlier"), std::string::npos) << again.out;
  EXPECT_FALSE(fs::exists(out / "pores.journal.earlier")) << "the earlier journal outlived the run that replaced it";
  EXPECT_EQ(testing::read_text(out / "pores.json"), json);
  // The new journal, whole: the parameters and the one pore (its seconds differ from the first run's).
  EXPECT_EQ(count_lines_starting(testing::read_text(out / "pores.journal"), ""), 2u);
  EXPECT_EQ(testing::read_text(out / "pores.journal").substr(0, journal.find('\n')), journal.substr(0, journal.find('\n')));
}

TEST(PoresFolder, UnusableInputIsRefusedBeforeAnyPoreIsSolved) {
  testing::ScratchDir dir(testing::current_test_name());
  testing::SyntheticStack stack(10, 10, 10);
  stack.add("ball", testing::ball({5, 5, 5}, 3));
  stack.write_tiff(dir.path() / "ball.tif");
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  for (const Case& c : {Case{{"--threshold", "0", "--keep-border"}, "every voxel of the image is pore"},
                        Case{{"--threshold", "100", "--E0", "1e-320"}, "a subnormal number has lost its digits"},
                        Case{{"--threshold", "100", "-o", ""}, "option -o needs a directory name"}}) {
    std::vector<std::string> args = {"ball.tif", "--M", "6", "--threads", "1"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    if (std::find(args.begin(), args.end(), "-o") == args.end()) args.insert(args.end(), {"-o", "out"});
    const testing::ProgramOutcome o = testing::run_in(dir.path(), testing::program_command(CONTRIBUTION_PORES, args));
    EXPECT_EQ(o.status, 2) << c.message;
    EXPECT_NE(o.err.find(c.message), std::string::npos) << o.err;
    EXPECT_EQ(o.out.find(" ["), std::string::npos) << "a pore was solved: " << o.out;
    EXPECT_FALSE(fs::exists(dir.path() / "out")) << c.message;
  }
}

}  // namespace
}  // namespace csolver
