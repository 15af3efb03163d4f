// The journal of a population run: records read back exactly, a torn or
// spoilt tail is never believed, a resumed journal is truncated before it
// grows, and a second run cannot write into the same journal.
#include "contribution_pores/journal.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <cmath>
#include <fstream>
#include <limits>

namespace csolver::pores {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

PoreResult sample_result(std::size_t index) {
  PoreResult r;
  r.index = index;
  r.label = static_cast<std::uint32_t>(3 * index + 1);
  r.status = PoreStatus::solved;
  r.M = 12;
  r.flagged_nodes = 1234;
  // Values whose shortest text has 17 digits, tiny and huge ones, a
  // negative zero: the record must give back the same doubles.
  for (std::size_t i = 0; i < 6; ++i)
    for (std::size_t j = 0; j < 6; ++j) {
      r.H[i][j] = (1.0 + static_cast<double>(index)) / (3.0 + static_cast<double>(i * 6 + j));
      r.N[i][j] = -r.H[i][j] * 1e-300;
    }
  r.H[5][5] = std::numeric_limits<double>::max();
  r.N[0][0] = -0.0;
  r.N[1][1] = std::numeric_limits<double>::denorm_min();
  // Odd indices stand for a ladder's result, with its bars.
  if (index % 2 == 1) {
    r.levels = {16, 20, 24, 32};
    for (std::size_t i = 0; i < 6; ++i)
      for (std::size_t j = 0; j < 6; ++j) r.H_error[i][j] = r.H[i][j] / (7.0 + static_cast<double>(j));
  }
  r.iterations = {70, 71, 72, 73, 74, 75};
  r.conv_flag = 1;
  r.symmetry_flag = 0;
  r.seconds = 0.1 + static_cast<double>(index);
  return r;
}

void expect_same(const PoreResult& a, const PoreResult& b) {
  EXPECT_EQ(a.index, b.index);
  EXPECT_EQ(a.label, b.label);
  EXPECT_EQ(a.status, b.status);
  EXPECT_EQ(a.message, b.message);
  EXPECT_EQ(a.M, b.M);
  EXPECT_EQ(a.flagged_nodes, b.flagged_nodes);
  for (std::size_t i = 0; i < 6; ++i)
    for (std::size_t j = 0; j < 6; ++j) {
      EXPECT_EQ(std::bit_cast<std::uint64_t>(a.H[i][j]), std::bit_cast<std::uint64_t>(b.H[i][j])) << i << j;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(a.N[i][j]), std::bit_cast<std::uint64_t>(b.N[i][j])) << i << j;
      EXPECT_EQ(std::bit_cast<std::uint64_t>(a.H_error[i][j]), std::bit_cast<std::uint64_t>(b.H_error[i][j])) << i << j;
    }
  EXPECT_EQ(a.levels, b.levels);
  EXPECT_EQ(a.iterations, b.iterations);
  EXPECT_EQ(a.conv_flag, b.conv_flag);
  EXPECT_EQ(a.symmetry_flag, b.symmetry_flag);
  EXPECT_EQ(a.seconds, b.seconds);
}

json parameters(int M) {
  return {{"format", "test"}, {"grid", {{"M", M}}}, {"tol", 1e-6}, {"information", {{"image_file", "a.tif"}}}};
}

std::string read_all(const fs::path& file) { return testing::read_text(file); }

void write_all(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary | std::ios::trunc) << text; }

TEST(PoreRecord, ReadsBackEveryValueExactly) {
  PoreResult failed;
  failed.index = 7;
  failed.label = 9;
  failed.status = PoreStatus::failed;
  failed.message = "no grid node lies \"inside\"\nat M = 4";
  for (const PoreResult& r : {sample_result(0), sample_result(5), sample_result(6), failed}) {
    const std::string text = encode_result(r);
    EXPECT_EQ(text.find('\n'), std::string::npos) << "a record is one line";
    expect_same(decode_result(text), r);
  }
  EXPECT_THROW(decode_result("{\"index\": 1}"), RecordError);
  EXPECT_THROW(decode_result("not json"), RecordError);
}

TEST(Journal, KeepsEveryCompleteRecordAndNoTornOne) {
  testing::ScratchDir dir(testing::current_test_name());
  const fs::path file = dir.path() / JOURNAL_NAME;
  {
    JournalWriter writer = JournalWriter::create(file, parameters(12));
    for (std::size_t i = 0; i < 3; ++i) writer.append(sample_result(i));
  }
  const std::string whole = read_all(file);
  const JournalContents all = read_journal(file);
  ASSERT_TRUE(all.has_parameters);
  EXPECT_EQ(all.parameters, parameters(12));
  ASSERT_EQ(all.pores.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) expect_same(all.pores[i], sample_result(i));
  EXPECT_EQ(all.valid_bytes, whole.size());
  EXPECT_EQ(all.torn_bytes, 0u);

  // A kill can stop the last write after any byte, its newline included.
  const std::size_t last_start = whole.rfind('\n', whole.size() - 2) + 1;
  for (std::size_t cut = last_start; cut < whole.size(); ++cut) {
    write_all(file, whole.substr(0, cut));
    const JournalContents torn = read_journal(file);
    ASSERT_EQ(torn.pores.size(), 2u) << "cut at " << cut;
    EXPECT_EQ(torn.valid_bytes, last_start);
    EXPECT_EQ(torn.torn_bytes, cut - last_start);
  }

  // A complete line whose bytes changed is damage: reported with its line
  // and byte, and the records after it still stand on their own checks.
  const std::size_t second = whole.find('\n', whole.find('\n') + 1) + 1;  // the second pore's line
  for (const char* spoil : {"digit", "length"}) {
    std::string spoilt = whole;
    if (std::string(spoil) == "digit") spoilt[second + 40] = spoilt[second + 40] == '1' ? '2' : '1';
    else spoilt.insert(second + 30, " ");
    write_all(file, spoilt);
    const JournalContents read = read_journal(file);
    ASSERT_EQ(read.pores.size(), 2u) << spoil;
    expect_same(read.pores[0], sample_result(0));
    expect_same(read.pores[1], sample_result(2));
    ASSERT_EQ(read.damage.size(), 1u) << spoil;
    EXPECT_EQ(read.damage[0].line, 3u);
    EXPECT_EQ(read.damage[0].byte, second);
    EXPECT_EQ(read.valid_bytes, spoilt.size());
    EXPECT_FALSE(read.first_record_damaged());
  }
  // The same numbers spelt otherwise (found by fuzzing: upper-case hex, a
  // leading zero) were not written by this program: damage, not a record.
  for (const char* respelling : {"upper-case", "leading zero"}) {
    std::string other = whole;
    if (std::string(respelling) == "upper-case") {
      for (std::size_t c = second; c < second + 8; ++c) other[c] = static_cast<char>(std::toupper(other[c]));
      if (other.compare(second, 8, whole, second, 8) == 0) continue;  // a CRC of digits only
    } else {
      other.insert(second + 9, "0");
    }
    write_all(file, other);
    const JournalContents read = read_journal(file);
    EXPECT_EQ(read.pores.size(), 2u) << respelling;
    ASSERT_EQ(read.damage.size(), 1u) << respelling;
    EXPECT_EQ(read.damage[0].line, 3u) << respelling;
  }
  // A damaged first record ties nothing to a run; nor does one cut short.
  std::string spoilt_first = whole;
  spoilt_first[30] ^= 1;
  for (const std::string& text : {spoilt_first, whole.substr(0, 20)}) {
    write_all(file, text);
    const JournalContents read = read_journal(file);
    EXPECT_FALSE(read.has_parameters);
    EXPECT_TRUE(read.first_record_damaged());
    EXPECT_TRUE(read.pores.empty());
    ASSERT_EQ(read.damage.size(), 1u);
    EXPECT_EQ(read.damage[0].line, 1u);
  }
  write_all(file, "");
  EXPECT_FALSE(read_journal(file).first_record_damaged());
  EXPECT_FALSE(read_journal(dir.path() / "absent").exists);
}

TEST(Journal, RewritingKeepsTheVerifiedRecordsAndTheDamagedCopy) {
  testing::ScratchDir dir(testing::current_test_name());
  const fs::path file = dir.path() / JOURNAL_NAME, copy = dir.path() / "pores.journal.damaged";
  {
    JournalWriter writer = JournalWriter::create(file, parameters(12));
    for (std::size_t i = 0; i < 3; ++i) writer.append(sample_result(i));
  }
  std::string spoilt = read_all(file);
  spoilt[spoilt.find('\n') + 50] ^= 4;  // the first pore's record
  write_all(file, spoilt);
  const JournalContents damaged = read_journal(file);
  ASSERT_EQ(damaged.damage.size(), 1u);
  {
    JournalWriter writer = JournalWriter::rewrite(file, damaged.verified_lines, copy);
    writer.append(sample_result(0));
  }
  EXPECT_EQ(read_all(copy), spoilt);
  const JournalContents rewritten = read_journal(file);
  EXPECT_TRUE(rewritten.damage.empty());
  ASSERT_EQ(rewritten.pores.size(), 3u);
  expect_same(rewritten.pores[0], sample_result(1));
  expect_same(rewritten.pores[1], sample_result(2));
  expect_same(rewritten.pores[2], sample_result(0));
}

TEST(Journal, ResumingDropsTheTornTailBeforeAppending) {
  testing::ScratchDir dir(testing::current_test_name());
  const fs::path file = dir.path() / JOURNAL_NAME;
  {
    JournalWriter writer = JournalWriter::create(file, parameters(12));
    writer.append(sample_result(0));
    writer.append(sample_result(1));
  }
  const std::string whole = read_all(file);
  write_all(file, whole.substr(0, whole.size() - 25));  // the second record torn
  const JournalContents torn = read_journal(file);
  ASSERT_EQ(torn.pores.size(), 1u);
  {
    JournalWriter writer = JournalWriter::resume(file, torn.valid_bytes);
    writer.append(sample_result(1));
    writer.append(sample_result(2));
  }
  const JournalContents resumed = read_journal(file);
  EXPECT_EQ(resumed.torn_bytes, 0u);
  ASSERT_EQ(resumed.pores.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) expect_same(resumed.pores[i], sample_result(i));
}

TEST(Journal, OneRunAtATime) {
  testing::ScratchDir dir(testing::current_test_name());
  const fs::path file = dir.path() / JOURNAL_NAME;
  JournalWriter first = JournalWriter::create(file, parameters(12));
  try {
    JournalWriter second = JournalWriter::resume(file, read_journal(file).valid_bytes);
    FAIL() << "a second writer was allowed";
  } catch (const JournalError& e) {
    EXPECT_NE(std::string(e.what()).find("in use by another run"), std::string::npos) << e.what();
  }
}

TEST(Journal, ParametersDifferByNameAndIgnoreInformation) {
  json moved = parameters(12);
  moved["information"]["image_file"] = "elsewhere/a.tif";
  EXPECT_TRUE(parameter_differences(parameters(12), moved).empty());
  const std::vector<std::string> d = parameter_differences(parameters(16), parameters(12));
  ASSERT_EQ(d.size(), 1u);
  EXPECT_EQ(d[0], "grid: {\"M\":16} here, {\"M\":12} in the journal");
  json fewer = parameters(12);
  fewer.erase("tol");
  EXPECT_EQ(parameter_differences(parameters(12), fewer).size(), 1u);
  EXPECT_EQ(parameter_differences(fewer, parameters(12)).size(), 1u);
}

}  // namespace
}  // namespace csolver::pores
