// Where the wisdom file lives, and that loading and saving it never fail a
// caller: bad files are refused, unwritable places skipped.
#include "fftw_wisdom/fftw_wisdom.h"
#include "support/scratch.h"

#include <fftw3.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

namespace csolver {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for one scope, restoring it afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_)
      setenv(name_, old_->c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(FftwWisdom, PathFollowsXdgCacheHomeThenHomeAndNamesTheVersion) {
  const std::string version = std::string("fftw-wisdom-") + fftw_version;
  {
    ScopedVariable xdg("XDG_CACHE_HOME", "/somewhere/cache");
    EXPECT_EQ(fftw_wisdom_path().parent_path(), fs::path("/somewhere/cache/contribution_solver"));
    EXPECT_EQ(fftw_wisdom_path().filename().string().rfind("fftw-wisdom-fftw-3", 0), 0u);
    EXPECT_EQ(fftw_wisdom_path().filename().string().size(), version.size());
  }
  {
    // A relative XDG_CACHE_HOME is to be ignored.
    ScopedVariable xdg("XDG_CACHE_HOME", "relative/cache");
    ScopedVariable home("HOME", "/home/someone");
    EXPECT_EQ(fftw_wisdom_path().parent_path(), fs::path("/home/someone/.cache/contribution_solver"));
  }
  {
    ScopedVariable xdg("XDG_CACHE_HOME", nullptr);
    ScopedVariable home("HOME", nullptr);
    EXPECT_TRUE(fftw_wisdom_path().empty());
    EXPECT_FALSE(load_fftw_wisdom());
    EXPECT_FALSE(save_fftw_wisdom());
  }
}

TEST(FftwWisdom, SavedWisdomLoadsAndBadFilesAreRefused) {
  testing::ScratchDir dir("fftw_wisdom");
  // Some wisdom to save: one measured plan.
  fftw_complex* data = fftw_alloc_complex(64);
  fftw_plan plan = fftw_plan_dft_1d(64, data, data, FFTW_FORWARD, FFTW_MEASURE);
  fftw_destroy_plan(plan);
  fftw_free(data);

  const fs::path file = dir.path() / "a" / "b" / "wisdom";
  ASSERT_TRUE(save_fftw_wisdom(file));  // makes the directories
  EXPECT_TRUE(load_fftw_wisdom(file));
  EXPECT_TRUE(save_fftw_wisdom(file));  // unchanged: nothing to write, still fine
  const std::string good = testing::read_text(file);

  EXPECT_FALSE(load_fftw_wisdom(dir.path() / "missing"));
  const fs::path bad = dir.path() / "bad";
  std::string foreign = good;
  foreign[6] = '2';  // "(fftw-3..." of another major version
  for (const std::string& text : {std::string("(fftw-3.3.10 fftw_wisdom #x1 #x2 #x3 #x4\n  (nonsense"), std::string(),
                                  foreign, std::string(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2))}) {
    std::ofstream(bad, std::ios::trunc) << text;
    EXPECT_FALSE(load_fftw_wisdom(bad)) << text.substr(0, 60);
  }
  EXPECT_FALSE(load_fftw_wisdom(dir.path()));  // a directory

  // Places that cannot take the file: below a regular file, or a directory
  // in the file's place.
  EXPECT_FALSE(save_fftw_wisdom(bad / "wisdom"));
  fs::create_directories(dir.path() / "taken" / "x");
  EXPECT_FALSE(save_fftw_wisdom(dir.path() / "taken"));
}

}  // namespace
}  // namespace csolver
