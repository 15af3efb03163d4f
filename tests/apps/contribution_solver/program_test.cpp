// The program as a user runs it: in a directory holding input.txt, no
// arguments; its exit status, console, report files and error messages.
#include "shapes/shapes.h"
#include "support/bad_inputs.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include <fstream>
#include <sstream>
#include <csignal>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace csolver {
namespace {

namespace fs = std::filesystem;

std::string read(const fs::path& path) { return testing::read_text(path); }
std::vector<std::string> lines_of(const std::string& text) { return testing::split_lines(text); }

class Program : public ::testing::Test {
 public:
  void SetUp() override {
    scratch = std::make_unique<testing::ScratchDir>(testing::current_test_name());
    dir = scratch->path();
  }

  void write_input(const std::string& text) { std::ofstream(dir / "input.txt") << text; }

  int run(const std::string& environment = "") {
    std::string command = "cd '" + dir.string() + "' && ";
    command += environment;
    command += " '" CONTRIBUTION_SOLVER "' > stdout.txt 2> stderr.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static std::string sphere_input(int M, double E1) {
    shapes::Materials m;
    m.E1 = E1;
    return shapes::input_text(shapes::volume_node_table(M, shapes::inside(shapes::Ellipsoid{})), m, false, "sphere");
  }

  std::unique_ptr<testing::ScratchDir> scratch;
  fs::path dir;
};

TEST_F(Program, InhomogeneityRunWritesBothReportsAndTheConsoleLines) {
  write_input(sphere_input(6, 10));
  ASSERT_EQ(run(), 0) << read(dir / "stderr.txt");
  const std::vector<std::string> console = lines_of(read(dir / "stdout.txt"));
  ASSERT_FALSE(console.empty());
  EXPECT_EQ(console.front(), " System ready!");
  int converged = 0;
  for (std::size_t i = 0; i + 1 < console.size(); ++i)
    if (console[i].rfind(" Load case # ", 0) == 0) {
      ++converged;
      EXPECT_EQ(console[i], " Load case # " + std::to_string(converged));
      EXPECT_EQ(console[i + 1], " Solution converges");
    }
  EXPECT_EQ(converged, 6);
  const std::string report = read(dir / "result.txt");
  EXPECT_EQ(lines_of(report).size(), 42u);
  EXPECT_EQ(lines_of(report)[0], " Convergence correct. ");
  const auto copies = [&] {
    std::vector<fs::path> txt;
    for (const auto& entry : fs::directory_iterator(dir / "results"))
      if (entry.path().extension() == ".txt") txt.push_back(entry.path());
    return txt;
  };
  ASSERT_EQ(copies().size(), 1u);
  EXPECT_EQ(read(copies().front()), report);
  // A second run in the same second keeps the first copy.
  ASSERT_EQ(run(), 0);
  EXPECT_EQ(copies().size(), 2u);
}

TEST_F(Program, CrackRunWritesTheCrackLayout) {
  shapes::Materials m;
  write_input(shapes::input_text(shapes::crack_node_table(8, shapes::inside(shapes::PlanarEllipse{0.5, 0.5})), m,
                                 true, "penny"));
  ASSERT_EQ(run(), 0) << read(dir / "stderr.txt");
  const std::vector<std::string> report = lines_of(read(dir / "result.txt"));
  ASSERT_EQ(report.size(), 36u);
  EXPECT_EQ(report[0], " Convergence correct.");
  EXPECT_EQ(report[17], " Maximal crack opening:");
}

// The crack kernel is the original one unless the environment asks for the
// exact one; result.json names it, and an unknown name is refused.
TEST_F(Program, CrackKernelFollowsTheEnvironment) {
  write_input(shapes::input_text(shapes::crack_node_table(16, shapes::inside(shapes::PlanarEllipse{0.5, 0.5})), {},
                                 true, "penny"));
  ASSERT_EQ(run("env -u CONTRIBUTION_PLANAR_KERNEL"), 0) << read(dir / "stderr.txt");
  const nlohmann::json specified = nlohmann::json::parse(read(dir / "result.json"));
  EXPECT_EQ(specified["kernel"], "specified");
  ASSERT_EQ(run("CONTRIBUTION_PLANAR_KERNEL=exact"), 0) << read(dir / "stderr.txt");
  const nlohmann::json exact = nlohmann::json::parse(read(dir / "result.json"));
  EXPECT_EQ(exact["kernel"], "exact");
  // The exact far field is softer than the truncated one: more opening.
  EXPECT_GT(exact["H_tensor"][2][2].get<double>(), specified["H_tensor"][2][2].get<double>());
  const std::string report = read(dir / "result.txt");
  EXPECT_EQ(run("CONTRIBUTION_PLANAR_KERNEL=Exact"), 2);
  EXPECT_NE(read(dir / "stderr.txt").find("found CONTRIBUTION_PLANAR_KERNEL=Exact, expected 'specified' or 'exact'"),
            std::string::npos)
      << read(dir / "stderr.txt");
  EXPECT_EQ(read(dir / "result.txt"), report);
}

// Double precision unless the environment asks for mixed; result.json names
// it, the tensors agree, and an unknown name is refused before anything is
// written.
TEST_F(Program, PrecisionFollowsTheEnvironment) {
  shapes::Materials m;
  m.E1 = 5;
  write_input(shapes::input_text(shapes::volume_node_table(12, shapes::inside(shapes::Ellipsoid{{0.6, 0.5, 0.4}})), m,
                                 false, "ellipsoid"));
  ASSERT_EQ(run("env -u CONTRIBUTION_PRECISION"), 0) << read(dir / "stderr.txt");
  const nlohmann::json reference = nlohmann::json::parse(read(dir / "result.json"));
  EXPECT_EQ(reference["precision"], "double");
  ASSERT_EQ(run("CONTRIBUTION_PRECISION=mixed"), 0) << read(dir / "stderr.txt");
  const nlohmann::json mixed = nlohmann::json::parse(read(dir / "result.json"));
  EXPECT_EQ(mixed["precision"], "mixed");
  const double scale = std::abs(reference["H_tensor"][0][0].get<double>());
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c)
      EXPECT_NEAR(mixed["H_tensor"][r][c].get<double>(), reference["H_tensor"][r][c].get<double>(), 2e-6 * scale);
  const std::string report = read(dir / "result.txt");
  EXPECT_EQ(run("CONTRIBUTION_PRECISION=single"), 2);
  EXPECT_NE(read(dir / "stderr.txt").find("found CONTRIBUTION_PRECISION=single, expected 'double' or 'mixed'"),
            std::string::npos)
      << read(dir / "stderr.txt");
  EXPECT_EQ(read(dir / "result.txt"), report);
}

// Results of an earlier run that a failed run must leave exactly as they were.
void plant_previous_results(const fs::path& dir) {
  std::ofstream(dir / "result.txt") << "previous report\n";
  std::ofstream(dir / "result.json") << "{\"previous\": true}\n";
}

void expect_previous_results(const fs::path& dir, const std::string& what) {
  EXPECT_EQ(read(dir / "result.txt"), "previous report\n") << what;
  EXPECT_EQ(read(dir / "result.json"), "{\"previous\": true}\n") << what;
  EXPECT_TRUE(!fs::exists(dir / "results") || !fs::is_directory(dir / "results") || fs::is_empty(dir / "results"))
      << what;
}

// Every bad input of the reader's table, in both branches, through the program.
TEST_F(Program, BadInputExitsWithStatusTwoAndTouchesNoResult) {
  for (bool crack : {false, true})
    for (const testing::BadInput& c : testing::bad_inputs()) {
      if (crack && c.inhomogeneity_only) continue;
      const std::string what = std::string(crack ? "crack: " : "inhomogeneity: ") + c.name;
      fs::remove_all(dir);
      fs::create_directories(dir);
      plant_previous_results(dir);
      std::vector<std::string> lines = testing::small_input(crack);
      c.mutate(lines);
      write_input(testing::join(lines, crack ? "\r\n" : "\n"));
      EXPECT_EQ(run(), 2) << what;
      const std::string err = read(dir / "stderr.txt");
      EXPECT_NE(err.find("input.txt, line " + std::to_string(c.line) + ": "), std::string::npos) << what << ": " << err;
      EXPECT_NE(err.find(c.fragment), std::string::npos) << what << ": " << err;
      expect_previous_results(dir, what);
    }
}

struct Failure {
  const char* name;
  std::function<void(Program&)> prepare;
  int status;
  const char* message;
};

TEST_F(Program, OtherFailuresExitNonZeroWithAMessageAndTouchNoResult) {
  const std::vector<Failure> cases{
      {"missing input", [](Program&) {}, 2, "input.txt: cannot open"},
      {"no flagged node",
       [](Program& p) {
         p.write_input(shapes::input_text(shapes::volume_node_table(3, [](const shapes::Point&) { return false; }),
                                          shapes::Materials{}, false, "empty"));
       },
       2, "no node is flagged 1"},
      {"crack outside the plane k = 1",
       [](Program& p) {
         NodeTable nodes = shapes::volume_node_table(4, [](const shapes::Point& x) { return x[2] == 0; });
         p.write_input(shapes::input_text(nodes, shapes::Materials{}, true, "misplaced crack"));
       },
       2, "crack plane k = 1"},
      {"flagged node far off the grid",
       [](Program& p) {
         std::vector<std::string> lines = testing::small_input();
         lines[40] = "7.5 1 1 1";
         p.write_input(testing::join(lines));
       },
       2, "do not lie on the grid"},
      {"results is a file",
       [](Program& p) {
         p.write_input(sphere_input(4, 10));
         std::ofstream(p.dir / "results") << "in the way";
       },
       1, "results"},
  };
  for (const Failure& c : cases) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    plant_previous_results(dir);
    c.prepare(*this);
    EXPECT_EQ(run(), c.status) << c.name;
    const std::string err = read(dir / "stderr.txt");
    EXPECT_NE(err.find(c.message), std::string::npos) << c.name << ": " << err;
    expect_previous_results(dir, c.name);
  }
}

// Moduli so large that the operator overflows: every load case stops at the
// first non-finite value with a message naming it; the report warns and
// result.json says why.
TEST_F(Program, NonFiniteValuesEndTheLoadCasesUnconverged) {
  write_input(sphere_input(4, 1e308));
  ASSERT_EQ(run(), 0);
  const std::string err = read(dir / "stderr.txt");
  EXPECT_NE(err.find("load case 1 stopped at iteration 1"), std::string::npos) << err;
  EXPECT_NE(err.find("non-finite"), std::string::npos) << err;
  EXPECT_EQ(lines_of(read(dir / "result.txt"))[0], " Solution may not converge correctly.");
  const nlohmann::json json = nlohmann::json::parse(read(dir / "result.json"));
  EXPECT_EQ(json["conv_flag"], 0);
  EXPECT_EQ(json["load_cases"][0]["breakdown"], "a non-finite value appeared");
  EXPECT_EQ(json["load_cases"][0]["converged"], false);
}

// A destination that fills up while the results are written: a tmpfs of two
// pages holds input.txt and result.txt but not the copy. The run must say so
// and fail, and leave no temporary file behind.
TEST_F(Program, FullDiskGivesAClearErrorAndNoPartialFile) {
  const fs::path small = dir / "small";
  fs::create_directories(small);
  if (std::system(("mount -t tmpfs -o size=8k tmpfs '" + small.string() + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
  std::ofstream(small / "input.txt") << sphere_input(2, 10);
  const std::string command = "cd '" + small.string() + "' && '" CONTRIBUTION_SOLVER "' > /dev/null 2> '" +
                              (dir / "stderr.txt").string() + "'";
  const int status = std::system(command.c_str());
  std::vector<std::string> left;
  for (const auto& entry : fs::recursive_directory_iterator(small)) left.push_back(entry.path().filename().string());
  const std::string result = read(small / "result.txt");
  std::system(("umount '" + small.string() + "'").c_str());
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(read(dir / "stderr.txt").find("No space left on device"), std::string::npos) << read(dir / "stderr.txt");
  for (const std::string& name : left) EXPECT_EQ(name.find(".contribution_solver"), std::string::npos) << name;
  // result.txt, if it was written, is complete.
  EXPECT_TRUE(result.empty() || lines_of(result).size() == 42u);
}

// FFTW's wisdom is a cache under $XDG_CACHE_HOME, written by the first run
// and read by the next. A corrupt file, one of another FFTW version, one that
// cannot be read or replaced (a directory in its place) or a cache directory
// that cannot be made (a file in its place) change nothing but the speed: the
// run succeeds, says nothing and reports the same, and a bad file is
// replaced by good wisdom.
TEST_F(Program, WisdomFileThatIsCorruptForeignOrUnwritableChangesNothing) {
  write_input(sphere_input(8, 10));
  const fs::path cache = dir / "cache";
  const std::string environment = "XDG_CACHE_HOME='" + cache.string() + "' ";
  // The report without its elapsed-time line, which differs from run to run.
  auto report = [&] {
    std::vector<std::string> lines = lines_of(read(dir / "result.txt"));
    if (lines.size() > 5) lines.erase(lines.begin() + 5);
    return lines;
  };
  ASSERT_EQ(run(environment), 0) << read(dir / "stderr.txt");
  const std::vector<std::string> reference = report();
  ASSERT_EQ(reference.size(), 41u);
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(cache / "contribution_solver")) files.push_back(entry.path());
  ASSERT_EQ(files.size(), 1u);
  const fs::path wisdom = files.front();
  EXPECT_EQ(wisdom.filename().string().rfind("fftw-wisdom-fftw-3", 0), 0u) << wisdom;
  const std::string good = read(wisdom);
  ASSERT_EQ(good.rfind("(fftw-3", 0), 0u) << good.substr(0, 80);

  struct Case {
    const char* name;
    std::function<void()> prepare;
    bool replaced;  // good wisdom in place afterwards
  };
  std::string foreign = good;
  foreign[6] = '2';  // "(fftw-3..." of another major version
  const std::vector<Case> cases{
      {"reused", [] {}, true},
      {"corrupt", [&] { std::ofstream(wisdom, std::ios::trunc) << "(fftw-3.3.10 fftw_wisdom #x1 #x2\n  (garbage"; }, true},
      {"empty", [&] { std::ofstream(wisdom, std::ios::trunc); }, true},
      {"another FFTW version", [&] { std::ofstream(wisdom, std::ios::trunc) << foreign; }, true},
      {"a directory in its place",
       [&] {
         fs::remove(wisdom);
         fs::create_directories(wisdom / "inside");
       },
       false},
      {"a file in the cache directory's place",
       [&] {
         fs::remove_all(cache);
         std::ofstream(cache) << "not a directory";
       },
       false},
  };
  for (const Case& c : cases) {
    c.prepare();
    EXPECT_EQ(run(environment), 0) << c.name;
    EXPECT_EQ(read(dir / "stderr.txt"), "") << c.name;
    EXPECT_EQ(report(), reference) << c.name;
    if (c.replaced) {
      EXPECT_EQ(read(wisdom).rfind("(fftw-3", 0), 0u) << c.name;
    }
  }
  EXPECT_TRUE(fs::is_directory(wisdom / "inside") || fs::is_regular_file(cache));
}

// SIGTERM during the solve: the run stops with a message, and the previous
// result.txt survives untouched with no temporary file left beside it.
TEST_F(Program, TerminatedRunLeavesThePreviousReport) {
  write_input(sphere_input(40, 10));
  plant_previous_results(dir);
  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0 || !freopen("stdout.txt", "w", stdout) || !freopen("stderr.txt", "w", stderr)) _exit(99);
    execl(CONTRIBUTION_SOLVER, CONTRIBUTION_SOLVER, static_cast<char*>(nullptr));
    _exit(98);
  }
  // Wait for the first iteration line, then terminate.
  for (int i = 0; i < 600 && read(dir / "stdout.txt").find("Load case") == std::string::npos &&
                  lines_of(read(dir / "stdout.txt")).size() < 3;
       ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
  EXPECT_NE(read(dir / "stderr.txt").find("terminated (SIGTERM)"), std::string::npos);
  expect_previous_results(dir, "SIGTERM");
  for (const auto& entry : fs::directory_iterator(dir))
    EXPECT_EQ(entry.path().filename().string().find(".contribution_solver"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace csolver
