#include "contribution_solver/result_files.h"

#include "contribution_solver/clock.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <unistd.h>
#include <sstream>

namespace csolver {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) { return testing::read_text(path); }

class ResultFiles : public ::testing::Test {
 protected:
  ResultFiles() : scratch(testing::current_test_name()), dir(scratch.path()) {}
  std::size_t entries(const fs::path& d) const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(d), fs::directory_iterator()));
  }
  testing::ScratchDir scratch;
  fs::path dir;
};

TEST_F(ResultFiles, CopiesNeverReplaceAnEarlierReport) {
  EXPECT_EQ(write_new_file(dir, "result_20261210_101500", ".txt", "first"), dir / "result_20261210_101500.txt");
  EXPECT_EQ(write_new_file(dir, "result_20261210_101500", ".txt", "second"), dir / "result_20261210_101500_2.txt");
  EXPECT_EQ(write_new_file(dir, "result_20261210_101500", ".txt", "third"), dir / "result_20261210_101500_3.txt");
  EXPECT_EQ(read(dir / "result_20261210_101500.txt"), "first");
  EXPECT_EQ(read(dir / "result_20261210_101500_3.txt"), "third");
  EXPECT_EQ(entries(dir), 3u);  // no temporary files left behind
}

TEST_F(ResultFiles, AtomicWriteReplacesTheWholeFile) {
  write_file_atomically(dir / "result.txt", "old and longer");
  write_file_atomically(dir / "result.txt", "new");
  EXPECT_EQ(read(dir / "result.txt"), "new");
  EXPECT_EQ(entries(dir), 1u);
}

TEST_F(ResultFiles, DestinationIsCreatedAndChecked) {
  const Destination d = prepare_destination(dir);
  EXPECT_TRUE(fs::is_directory(dir / "results"));
  EXPECT_EQ(entries(dir / "results"), 0u);
  const ReportPaths paths = write_report(d, {" line one", "", " line three"});
  EXPECT_EQ(read(paths.result), " line one\n\n line three\n");
  EXPECT_EQ(read(paths.copy), read(paths.result));
  EXPECT_EQ(paths.copy.parent_path(), dir / "results");
  EXPECT_EQ(paths.copy.filename().string().size(), std::string("result_CCYYMMDD_hhmmss.txt").size());
}

// Root ignores permission bits, so an unwritable destination is made with a
// plain file where the directory should be.
TEST_F(ResultFiles, ResultsPathThatIsAFileStopsBeforeAnyComputation) {
  std::ofstream(dir / "results") << "not a directory";
  EXPECT_THROW(prepare_destination(dir), OutputError);
  EXPECT_THROW(prepare_destination(dir / "missing" / "deeper"), OutputError);
}

// A full disk: /dev/full fails every write with ENOSPC.
TEST(WriteFully, AFullDeviceGivesAClearError) {
  const int fd = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(fd, 0);
  try {
    write_fully(fd, std::string(100000, 'x'), "result.txt");
    FAIL() << "a write to /dev/full succeeded";
  } catch (const OutputError& e) {
    EXPECT_NE(std::string(e.what()).find("cannot write result.txt: No space left on device"), std::string::npos)
        << e.what();
  }
  ::close(fd);
}

TEST(Clock, TimeOfDayAndMonotonicClock) {
  const double t = wall_clock_seconds();
  EXPECT_GE(t, 0.0);
  EXPECT_LT(t, 86400.0);
  // Elapsed times come from a clock that never goes back, across midnight too.
  static_assert(std::chrono::steady_clock::is_steady);
  const double a = monotonic_seconds();
  const double b = monotonic_seconds();
  EXPECT_LE(a, b);
}

}  // namespace
}  // namespace csolver
