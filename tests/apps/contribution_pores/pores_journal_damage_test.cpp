// A damaged journal as contribution_pores meets it: a damaged first record is
// refused and left byte for byte; damage further on is reported with its
// position, the damaged journal kept aside, and every record that verifies
// is kept, so that only the damaged record's pore is solved again.
#include "support/run_program.h"
#include "tools/images/pore_stack.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace csolver
