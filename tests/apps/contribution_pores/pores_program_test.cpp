// contribution_pores as a user runs it: the pores of a synthetic stack whose
// voxels are known from construction, each pore's tensors against the
// single-shape programs, the effective properties against their sums and
// Eshelby's sphere, the same files under mpirun, a stopped run resumed, and
// bad input refused with nothing written.
#include "contribution/effective.h"
#include "contribution/study.h"
#include "images/image_volume.h"
#include "support/scratch.h"
#include "tools/images/pore_stack.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace csolver {
namespace {

namespace fs = std::filesystem;
namespace fx = contribution::effective;
using json = nlohmann::json;
using testing::SyntheticPore;
using testing::SyntheticStack;

std::string quoted(const std::string& word) {
  std::string text = "'";
  text += word;
  text += '\'';
  return text;
}

struct Outcome {
  int status = -1;
  std::string out, err;
};

// Runs a command line with its console captured in `dir`.
Outcome run(const std::string& command, const fs::path& dir, const std::string& name = "run") {
  const fs::path out = dir / (name + ".out"), err = dir / (name + ".err");
  std::string line = command;
  line += " > ";
  line += quoted(out.string());
  line += " 2> ";
  line += quoted(err.string());
  const int status = std::system(line.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, testing::read_text(out), testing::read_text(err)};
}

std::string pores_command(const std::vector<std::string>& args) {
  std::string command = quoted(CONTRIBUTION_PORES);
  for (const std::string& a : args) {
    command += ' ';
    command += quoted(a);
  }
  return command;
}

json read_json(const fs::path& file) { return json::parse(testing::read_text(file)); }

fx::Tensor6 tensor(const json& rows) {
  fx::Tensor6 t{};
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) t[r][c] = rows.at(r).at(c).get<double>();
  return t;
}

double largest(const fx::Tensor6& t) {
  double m = 0;
  for (const auto& row : t)
    for (double v : row) m = std::max(m, std::abs(v));
  return m;
}

double difference(const fx::Tensor6& a, const fx::Tensor6& b) {
  double m = 0;
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) m = std::max(m, std::abs(a[r][c] - b[r][c]));
  return m;
}

std::size_t count_lines_starting(const std::string& text, const std::string& start) {
  std::size_t n = 0;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) n += line.rfind(start, 0) == 0 ? 1 : 0;
  return n;
}

// The pore's own voxels, cut to their box, as contribution_input reads an image.
void write_cropped_pore(const SyntheticPore& pore, const fs::path& file) {
  std::array<std::int32_t, 3> lo{1 << 30, 1 << 30, 1 << 30}, hi{-1, -1, -1};
  for (const testing::Voxel& v : pore.voxels)
    for (std::size_t a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], v[a]);
      hi[a] = std::max(hi[a], v[a]);
    }
  const std::int32_t nx = hi[0] - lo[0] + 1, ny = hi[1] - lo[1] + 1, nz = hi[2] - lo[2] + 1;
  std::vector<std::uint16_t> samples(static_cast<std::size_t>(nx) * ny * nz, 0);
  for (const testing::Voxel& v : pore.voxels)
    samples[static_cast<std::size_t>(v[0] - lo[0]) +
            static_cast<std::size_t>(nx) * (static_cast<std::size_t>(v[1] - lo[1]) + static_cast<std::size_t>(ny) * (v[2] - lo[2]))] = 255;
  image::write_tiff_stack(file, nx, ny, nz, samples, 8);
}

// The pores the program keeps by default: not specks, not cut by the border.
std::vector<SyntheticPore> expected_kept(const SyntheticStack& stack) {
  std::vector<SyntheticPore> kept;
  for (const SyntheticPore& p : stack.pores())
    if (p.name.rfind("speck", 0) != 0 && p.name.find("cut by") == std::string::npos) kept.push_back(p);
  return kept;
}

// Six balls in a row and two more above them: eight pores, no border, no speck.
SyntheticStack eight_balls() {
  SyntheticStack stack(64, 24, 24);
  for (int i = 0; i < 6; ++i) stack.add("ball " + std::to_string(i), testing::ball({5.0 + 10 * i, 7, 7}, 3 + 0.3 * i));
  stack.add("ball 6", testing::ball({15, 16, 16}, 4));
  stack.add("ball 7", testing::ball({45, 16, 16}, 3.5));
  return stack;
}

class PoresProgram : public ::testing::Test {
 public:
  void SetUp() override {
    scratch = std::make_unique<testing::ScratchDir>(testing::current_test_name());
    dir = scratch->path();
  }
  std::unique_ptr<testing::ScratchDir> scratch;
  fs::path dir;
};

TEST_F(PoresProgram, PopulationStackPoresEqualTheSingleShapeRuns) {
  const SyntheticStack stack = testing::population_stack();
  const fs::path image = dir / "stack.tif";
  stack.write_tiff(image);
  // A tight tolerance, so that the two programs' different FFT plans
  // (estimated here, measured by contribution_solver) leave the same
  // converged tensors; at the default 1e-6 BiCGSTAB at a pore's contrast
  // stops at iterates that differ by 1e-4 relative between such runs.
  // One thread everywhere: CTest runs tests side by side on few cores, where
  // OpenMP's spinning teams slow down tenfold.
  const Outcome o = run(pores_command({image.string(), "--threshold", "100", "--M", "8", "--tol", "1e-11", "--threads", "1", "-o",
                                       (dir / "out").string()}),
                        dir);
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.out.find("7 found (26-connected); 4 kept, 2 dropped as small (< 8 voxels), 1 dropped at the border"), std::string::npos) << o.out;

  const json pores = read_json(dir / "out" / "pores.json");
  EXPECT_EQ(pores["found"], 7);
  EXPECT_EQ(pores["dropped"]["small"], 2);
  EXPECT_EQ(pores["dropped"]["border"], 1);
  const std::vector<SyntheticPore> kept = expected_kept(stack);
  ASSERT_EQ(pores["pores"].size(), kept.size());
  // Labels are raster order of the first voxel over all seven objects.
  const std::vector<SyntheticPore> all = stack.pores();
  const double image_voxels = 72.0 * 64 * 48;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    const json& p = pores["pores"][k];
    const SyntheticPore& truth = kept[k];
    SCOPED_TRACE(truth.name);
    const auto label = static_cast<std::size_t>(std::find_if(all.begin(), all.end(), [&](const SyntheticPore& a) {
                                                  return a.name == truth.name;
                                                }) - all.begin()) + 1;
    EXPECT_EQ(p["label"], label);
    EXPECT_EQ(p["voxels"], truth.voxels.size());
    EXPECT_EQ(p["volume_fraction"].get<double>(), static_cast<double>(truth.voxels.size()) / image_voxels);
    // Sums of integer coordinates are exact, so the mean is the correctly rounded one.
    std::array<double, 3> sum{};
    std::array<std::int32_t, 3> lo{1 << 30, 1 << 30, 1 << 30}, hi{-1, -1, -1};
    for (const testing::Voxel& v : truth.voxels)
      for (std::size_t a = 0; a < 3; ++a) {
        sum[a] += v[a];
        lo[a] = std::min(lo[a], v[a]);
        hi[a] = std::max(hi[a], v[a] + 1);
      }
    for (std::size_t a = 0; a < 3; ++a) {
      EXPECT_EQ(p["centroid"][a].get<double>(), sum[a] / static_cast<double>(truth.voxels.size())) << a;
      EXPECT_EQ(p["bbox"]["begin"][a], lo[a]);
      EXPECT_EQ(p["bbox"]["end"][a], hi[a]);
    }
    EXPECT_EQ(p["status"], "solved");
    EXPECT_EQ(p["conv_flag"], 1);

    // The same pore through contribution_input and contribution_solver.
    const fs::path single = dir / ("single_" + std::to_string(k));
    fs::create_directories(single);
    write_cropped_pore(truth, single / "pore.tif");
    const std::string input = quoted(CONTRIBUTION_INPUT) + " tiff " + quoted((single / "pore.tif").string()) +
                              " --M 8 --E1 0.001 --tol 1e-11 -o " + quoted(single.string());
    ASSERT_EQ(run(input, single, "input").status, 0);
    ASSERT_EQ(run("cd " + quoted(single.string()) + " && OMP_NUM_THREADS=1 " + quoted(CONTRIBUTION_SOLVER), single, "solver").status, 0);
    const json single_result = read_json(single / "result.json");
    const fx::Tensor6 H_single = tensor(single_result["H_tensor"]), H = tensor(p["H_tensor"]);
    // Same flags, materials and tolerance: the solves differ only by the
    // rounding of their FFT plans. Measured at tol 1e-11: up to 5e-9 of the
    // largest entry; 1e-7 leaves room and is still far below a node more or
    // less (percent) or a run stopped at tol 1e-6 (1e-4).
    EXPECT_LE(difference(H, H_single), 1e-7 * largest(H_single));
    EXPECT_LE(difference(tensor(p["N_tensor"]), tensor(single_result["N_tensor"])),
              1e-7 * largest(tensor(single_result["N_tensor"])));
  }

  // The non-interaction sum and the Mori-Tanaka scheme from the rows of pores.json.
  const json effective = read_json(dir / "out" / "effective.json");
  const fx::Tensor6 S0 = fx::isotropic_compliance({1, 0.3});
  fx::Tensor6 sum{};
  double porosity = 0;
  for (const json& p : pores["pores"]) {
    const double phi = p["volume_fraction"].get<double>();
    porosity += phi;
    const fx::Tensor6 H = tensor(p["H_tensor"]);
    for (std::size_t r = 0; r < 6; ++r)
      for (std::size_t c = 0; c < 6; ++c) sum[r][c] += phi * H[r][c];
  }
  EXPECT_DOUBLE_EQ(effective["porosity"].get<double>(), porosity);
  fx::Tensor6 nia{}, mt{};
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) {
      nia[r][c] = S0[r][c] + sum[r][c];
      mt[r][c] = S0[r][c] + sum[r][c] / (1 - porosity);
    }
  // Summation order alone differs: a few units of the last place.
  EXPECT_LE(difference(tensor(effective["nia"]["compliance"]), nia), 1e-14 * largest(nia));
  EXPECT_LE(difference(tensor(effective["mori_tanaka"]["compliance"]), mt), 1e-14 * largest(mt));
  const fx::IsotropicModuli m = fx::isotropic_projection_of_compliance(mt);
  EXPECT_NEAR(effective["mori_tanaka"]["isotropic"]["E"].get<double>(), m.E, 1e-13);
  EXPECT_NEAR(effective["mori_tanaka"]["isotropic"]["nu"].get<double>(), m.nu, 1e-13);
  // The stiffness is the compliance's inverse.
  const fx::Tensor6 C = tensor(effective["nia"]["stiffness"]);
  const fx::Tensor6 S = tensor(effective["nia"]["compliance"]);
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) {
      double product = 0;
      for (std::size_t k = 0; k < 6; ++k) product += C[r][k] * S[k][c];
      EXPECT_NEAR(product, r == c ? 1 : 0, 1e-13);
    }

  EXPECT_EQ(testing::read_text(dir / "out" / "pores.png").substr(1, 3), "PNG");

  // pores.csv holds the same numbers, one row per pore in label order.
  std::istringstream csv(testing::read_text(dir / "out" / "pores.csv"));
  std::string header, row;
  std::getline(csv, header);
  EXPECT_EQ(header.rfind("label,voxels,volume_fraction,centroid_x", 0), 0u);
  for (const json& p : pores["pores"]) {
    ASSERT_TRUE(std::getline(csv, row));
    EXPECT_EQ(row.substr(0, row.find(',')), std::to_string(p["label"].get<int>()));
    const std::size_t h11 = header.find(",H_11,");
    std::size_t column = static_cast<std::size_t>(std::count(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(h11) + 1, ','));
    std::size_t at = 0;
    for (std::size_t c = 0; c < column; ++c) at = row.find(',', at) + 1;
    EXPECT_EQ(std::stod(row.substr(at, row.find(',', at) - at)), p["H_tensor"][0][0].get<double>());
  }
}

// --E1 0: exact voids, under the bounded formulation (the only finite
// contrast) with the coefficient mean, named in pores.json. Voxelized balls
// of radius 5 and 7 on M = 10 grids: a few iterations per load case, and hK,
// hG measured 21-23 % and 14-15 % below Eshelby's void: these converge from
// below (docs/validation.md); 30 % still catches a lost factor.
TEST_F(PoresProgram, ExactVoidsConvergeFromBelowInFewIterations) {
  SyntheticStack stack(40, 30, 30);
  stack.add("ball r5", testing::ball({9, 14, 14}, 5));
  stack.add("ball r7", testing::ball({26, 14, 14}, 7));
  const fs::path image = dir / "balls.tif";
  stack.write_tiff(image);
  const Outcome o = run(pores_command({image.string(), "--threshold", "100", "--M", "10", "--E1", "0", "--threads", "1",
                                       "-o", (dir / "out").string()}),
                        dir);
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  const json pores = read_json(dir / "out" / "pores.json");
  EXPECT_EQ(pores["materials"]["E1"], 0.0);
  EXPECT_EQ(pores["formulation_rule"], "specified");
  EXPECT_EQ(pores["mean_field_estimate"], "coefficient");
  ASSERT_EQ(pores["pores"].size(), 2u);
  const fx::IsotropicModuli m0 = fx::moduli_of({1, 0.3});
  const double hK = 1 / m0.K + 3 / (4 * m0.G);
  const double hG = (1 + 6 * (m0.K + 2 * m0.G) / (9 * m0.K + 8 * m0.G)) / m0.G;
  for (const json& p : pores["pores"]) {
    SCOPED_TRACE(p["label"].dump());
    for (const json& iterations : p["iterations"]) EXPECT_LE(iterations.get<int>(), 12);
    const fx::IsotropicModuli h = fx::isotropic_projection_of_compliance(tensor(p["H_tensor"]));
    EXPECT_LT(1 / h.K, hK);
    EXPECT_GT(1 / h.K, 0.7 * hK);
    EXPECT_LT(1 / h.G, hG);
    EXPECT_GT(1 / h.G, 0.7 * hG);
  }
}

TEST_F(PoresProgram, SpheresGiveTheMoriTanakaClosedFormWithinTheirDiscretization) {
  SyntheticStack stack(60, 30, 30);
  stack.add("ball r5", testing::ball({9, 14, 14}, 5));
  stack.add("ball r7", testing::ball({26, 14, 14}, 7));
  stack.add("ball r9", testing::ball({47, 14, 15}, 9));
  const fs::path image = dir / "balls.tif";
  stack.write_tiff(image);
  const Outcome o =
      run(pores_command({image.string(), "--threshold", "100", "--M", "10", "--threads", "1", "-o", (dir / "out").string()}), dir);
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  const json pores = read_json(dir / "out" / "pores.json");
  const json effective = read_json(dir / "out" / "effective.json");
  ASSERT_EQ(pores["pores"].size(), 3u);

  // A spherical pore's contribution per unit volume (Eshelby): the extra
  // bulk and shear compliances hK = 1/K0 + 3/(4 G0) and hG = (1 + 6(K0 + 2 G0)/(9 K0 + 8 G0))/G0,
  // which the Mori-Tanaka closed form repeats: 1/K = 1/K0 + phi/(1 - phi) hK.
  const fx::IsotropicModuli m0 = fx::moduli_of({1, 0.3});
  const double hK = 1 / m0.K + 3 / (4 * m0.G);
  const double hG = (1 + 6 * (m0.K + 2 * m0.G) / (9 * m0.K + 8 * m0.G)) / m0.G;
  // Voxelized balls of radius 5 to 9 on M = 10 grids with E1 = 0.001 E0:
  // measured hK and hG 15 to 18 % high. Pores converge from above as the
  // grid is refined (docs/pores.md: +7 to +10 % at M = 24), so the error is
  // one-sided; 25 % bounds it at M = 10 and still catches a lost factor.
  double bulk_error = 0, shear_error = 0;
  for (const json& p : pores["pores"]) {
    const fx::IsotropicModuli h = fx::isotropic_projection_of_compliance(tensor(p["H_tensor"]));
    SCOPED_TRACE(p["label"].dump());
    EXPECT_GT(1 / h.K, hK);
    EXPECT_LT(1 / h.K, 1.25 * hK);
    EXPECT_GT(1 / h.G, hG);
    EXPECT_LT(1 / h.G, 1.25 * hG);
    bulk_error = std::max(bulk_error, std::abs(1 / h.K - hK) / hK);
    shear_error = std::max(shear_error, std::abs(1 / h.G - hG) / hG);
  }
  const double phi = effective["porosity"].get<double>();
  const double K = effective["mori_tanaka"]["isotropic"]["K"].get<double>();
  const double G = effective["mori_tanaka"]["isotropic"]["G"].get<double>();
  const double K_closed = 4 * m0.K * m0.G * (1 - phi) / (4 * m0.G + 3 * m0.K * phi);
  const double G_closed = m0.G * (1 - phi) / (1 + phi * 6 * (m0.K + 2 * m0.G) / (9 * m0.K + 8 * m0.G));
  // The moduli's drop from the matrix's is the closed form's but for the
  // pores' own discretization error: no more than the worst pore's.
  EXPECT_NEAR(1 / K - 1 / m0.K, 1 / K_closed - 1 / m0.K, bulk_error * (1 / K_closed - 1 / m0.K));
  EXPECT_NEAR(1 / G - 1 / m0.G, 1 / G_closed - 1 / m0.G, shear_error * (1 / G_closed - 1 / m0.G));
  EXPECT_LT(K, m0.K);
  EXPECT_LT(G, m0.G);
}

TEST_F(PoresProgram, MpiRanksWriteTheSerialFiles) {
  if (std::string(MPIEXEC).empty()) GTEST_SKIP() << "built without MPI (CS_WITH_MPI=OFF)";
  const SyntheticStack stack = testing::population_stack();
  const fs::path image = dir / "stack.tif";
  stack.write_tiff(image);
  // The default estimated FFT plans are the same in every process, so the
  // files must agree to the last bit. One thread on both sides keeps the
  // test about the distribution, whatever the library's sums do with threads.
  // One grid, and a ladder of grids (every level's flags in one message).
  for (const std::vector<std::string>& grid : {std::vector<std::string>{"--M", "8"}, std::vector<std::string>{"--ladder", "6,8,10"}}) {
    SCOPED_TRACE(grid[0]);
    const std::string name = grid[0].substr(2);
    std::vector<std::string> common = {image.string(), "--threshold", "100", "--threads", "1"};
    common.insert(common.end(), grid.begin(), grid.end());
    std::vector<std::string> serial = common, parallel = common;
    serial.insert(serial.end(), {"-o", (dir / ("serial_" + name)).string()});
    parallel.insert(parallel.end(), {"-o", (dir / ("mpi_" + name)).string()});
    const Outcome s = run(pores_command(serial), dir, "serial");
    ASSERT_EQ(s.status, 0) << s.out << s.err;
    const std::string mpirun = "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 " + quoted(MPIEXEC) +
                               " -np 3 --oversubscribe --bind-to none " + pores_command(parallel);
    const Outcome m = run(mpirun, dir, "mpi");
    ASSERT_EQ(m.status, 0) << m.out << m.err;
    EXPECT_EQ(count_lines_starting(m.out, " rank "), 2u) << m.out;
    EXPECT_NE(m.out.find("(rank 1)"), std::string::npos) << m.out;
    EXPECT_NE(m.out.find("(rank 2)"), std::string::npos) << m.out;
    for (const char* file : {"pores.csv", "pores.json", "effective.json"})
      EXPECT_EQ(testing::read_text(dir / ("mpi_" + name) / file), testing::read_text(dir / ("serial_" + name) / file)) << file;
  }
  // One worker of two threads solves each pore's levels side by side.
  const std::string mpirun = "OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1 " + quoted(MPIEXEC) +
                             " -np 2 --oversubscribe --bind-to none " +
                             pores_command({image.string(), "--threshold", "100", "--threads", "2", "--ladder", "6,8,10", "-o",
                                            (dir / "mpi_two_threads").string()});
  const Outcome two = run(mpirun, dir, "mpi_two_threads");
  ASSERT_EQ(two.status, 0) << two.out << two.err;
  EXPECT_NE(two.out.find("rank 1 ready: 2 threads per pore"), std::string::npos) << two.out;
  for (const char* file : {"pores.csv", "pores.json", "effective.json"})
    EXPECT_EQ(testing::read_text(dir / "mpi_two_threads" / file), testing::read_text(dir / "serial_ladder" / file)) << file;
}

// The ladder (here a small one) is the refinement study of the single
// grids: each level run alone with the ladder's numerics (exact void,
// bounded formulation, coefficient mean), then extrapolated with the
// study's rule and its margin for the coefficient mean, gives the ladder
// run's H and H_error; effective.json carries bars on every modulus.
TEST_F(PoresProgram, LadderIsTheExtrapolationOfItsSingleGrids) {
  SyntheticStack stack(40, 24, 24);
  stack.add("ball r4", testing::ball({9, 11, 11}, 4));
  stack.add("flat", testing::ellipsoid({27, 11, 12}, {6, 5, 2.5}, {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}}));
  const fs::path image = dir / "pores.tif";
  stack.write_tiff(image);
  const std::vector<std::int32_t> levels = {6, 8, 10, 12};
  const Outcome o = run(pores_command({image.string(), "--threshold", "100", "--ladder", "6,8,10,12", "--threads", "1", "-o",
                                       (dir / "ladder").string()}),
                        dir, "ladder");
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.out.find("ladder M = 6, 8, 10, 12"), std::string::npos) << o.out;
  const json ladder = read_json(dir / "ladder" / "pores.json");
  EXPECT_EQ(ladder["materials"]["E1"], 0.0);
  EXPECT_EQ(ladder["formulation_rule"], "bounded");
  EXPECT_EQ(ladder["mean_field_estimate"], "coefficient");
  EXPECT_EQ(ladder["grid"]["pore_sampling"], "smooth");
  EXPECT_EQ(ladder["tol"], 0.01);  // the ladder's own default
  ASSERT_EQ(ladder["pores"].size(), 2u);

  // Two threads solve the levels side by side, each as it would be alone:
  // the same files to the last bit.
  const Outcome two = run(pores_command({image.string(), "--threshold", "100", "--ladder", "6,8,10,12", "--threads", "2", "-o",
                                         (dir / "ladder_two_threads").string()}),
                          dir, "ladder_two_threads");
  ASSERT_EQ(two.status, 0) << two.out << two.err;
  EXPECT_NE(two.out.find("2 grids side by side"), std::string::npos) << two.out;
  for (const char* file : {"pores.csv", "pores.json", "effective.json"})
    EXPECT_EQ(testing::read_text(dir / "ladder_two_threads" / file), testing::read_text(dir / "ladder" / file)) << file;

  std::vector<json> single;
  for (std::int32_t M : levels) {
    const fs::path out = dir / ("M" + std::to_string(M));
    const Outcome s = run(pores_command({image.string(), "--threshold", "100", "--M", std::to_string(M), "--E1", "0",
                                         "--formulation", "bounded", "--mean-field", "coefficient", "--sampling", "smooth",
                                         "--tol", "0.01", "--threads", "1", "-o", out.string()}),
                          dir, "M" + std::to_string(M));
    ASSERT_EQ(s.status, 0) << s.out << s.err;
    single.push_back(read_json(out / "pores.json"));
  }
  std::vector<double> h;
  // The library forms its step in single precision.
  for (std::int32_t M : levels) h.push_back(static_cast<double>(2.0f / static_cast<float>(M)));
  for (std::size_t k = 0; k < 2; ++k) {
    SCOPED_TRACE(k);
    const json& p = ladder["pores"][k];
    EXPECT_EQ(p["levels"], levels);
    EXPECT_EQ(p["M"], 12);
    std::vector<fx::Tensor6> H;
    for (const json& s : single) H.push_back(tensor(s["pores"][k]["H_tensor"]));
    const contribution::TensorExtrapolation e = contribution::extrapolate_tensors(h, H, contribution::RISING_ORDER_MARGIN);
    EXPECT_LE(difference(tensor(p["H_tensor"]), e.value), 1e-12 * largest(e.value));
    EXPECT_LE(difference(tensor(p["H_error"]), e.error), 1e-12 * largest(e.value));
    for (std::size_t i = 0; i < 6; ++i) EXPECT_GT(p["H_error"][i][i].get<double>(), 0) << i;
  }
  const json effective = read_json(dir / "ladder" / "effective.json");
  for (const char* scheme : {"nia", "mori_tanaka"})
    for (const char* key : {"E_error", "nu_error", "K_error", "G_error"}) {
      ASSERT_TRUE(effective[scheme]["isotropic"][key].is_number()) << scheme << " " << key;
      EXPECT_GT(effective[scheme]["isotropic"][key].get<double>(), 0) << scheme << " " << key;
    }
  // pores.csv holds the bars beside the tensors.
  const std::string csv = testing::read_text(dir / "ladder" / "pores.csv");
  EXPECT_NE(csv.find(",H_error_11,"), std::string::npos);
  EXPECT_NE(csv.find(",H_error_66,"), std::string::npos);

  // The journal names the ladder: --resume goes on only with the same one,
  // and from a complete journal writes the same files without solving.
  const std::string before = testing::read_text(dir / "ladder" / "pores.json");
  const auto resume = [&](const std::string& grids, const std::string& name) {
    return run(pores_command({image.string(), "--threshold", "100", "--ladder", grids, "--threads", "1", "--resume", "-o",
                              (dir / "ladder").string()}),
               dir, name);
  };
  const Outcome other = resume("6,8,12", "other");
  EXPECT_EQ(other.status, 2) << other.out << other.err;
  EXPECT_NE(other.err.find("other parameters"), std::string::npos) << other.err;
  const Outcome same = resume("6,8,10,12", "same");
  ASSERT_EQ(same.status, 0) << same.out << same.err;
  EXPECT_EQ(count_lines_starting(same.out, " ["), 0u) << same.out;
  EXPECT_EQ(testing::read_text(dir / "ladder" / "pores.json"), before);
}

// At its defaults (exact void, smooth sampling, the seven-level ladder) a
// voxelized ball lands within 5 % of Eshelby's spherical void on every
// diagonal entry, with a bar no wider than 10 % that holds the void's value.
// Measured: within 4.4 % and bars 2.7-6.1 % on balls of radius 5, 7 and 10
// (docs/pores.md); nearest-voxel sampling on four levels gave bars to 28 %.
TEST_F(PoresProgram, DefaultLadderPutsASpherePoreOnEshelbysVoidWithANarrowBar) {
  SyntheticStack stack(20, 20, 20);
  stack.add("ball r5", testing::ball({9.5, 9.3, 9.6}, 5));
  const fs::path image = dir / "ball.tif";
  stack.write_tiff(image);
  const Outcome o = run(pores_command({image.string(), "--threshold", "100", "--threads", "2", "-o", (dir / "out").string()}), dir);
  ASSERT_EQ(o.status, 0) << o.out << o.err;
  EXPECT_NE(o.out.find("smooth sampling"), std::string::npos) << o.out;
  const json pores = read_json(dir / "out" / "pores.json");
  EXPECT_EQ(pores["grid"]["pore_sampling"], "smooth");
  ASSERT_EQ(pores["pores"].size(), 1u);
  const json& p = pores["pores"][0];
  // Eshelby's spherical void: bulk and shear parts hK, hG of H.
  const fx::IsotropicModuli m0 = fx::moduli_of({1, 0.3});
  const double hK = 1 / m0.K + 3 / (4 * m0.G);
  const double hG = (1 + 6 * (m0.K + 2 * m0.G) / (9 * m0.K + 8 * m0.G)) / m0.G;
  const double normal = hK / 9 + hG / 3, shear = hG;  // H11 and H44 (engineering shear)
  for (std::size_t i = 0; i < 6; ++i) {
    SCOPED_TRACE(i);
    const double exact = i < 3 ? normal : shear;
    const double value = p["H_tensor"][i][i].get<double>(), bar = p["H_error"][i][i].get<double>();
    EXPECT_NEAR(value, exact, 0.05 * exact);
    EXPECT_LE(bar, 0.10 * exact);
    EXPECT_GE(bar, std::abs(value - exact));
  }
}

// The program started in the background, its console going to files.
pid_t spawn(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
  const pid_t pid = fork();
  if (pid == 0) {
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644), e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(o, STDOUT_FILENO);
    dup2(e, STDERR_FILENO);
    std::vector<char*> argv{const_cast<char*>(CONTRIBUTION_PORES)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(CONTRIBUTION_PORES, argv.data());
    _exit(127);
  }
  return pid;
}

// Runs the program in the background and stops it by SIGTERM once two pores
// are in its journal; fails unless the run was stopped, not finished.
void stop_once_two_pores_are_in(const std::vector<std::string>& args, const fs::path& journal, const fs::path& out,
                                const fs::path& err) {
  const pid_t pid = spawn(args, out, err);
  std::size_t records = 0;
  for (int wait = 0; wait < 12000 && records < 3; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    records = count_lines_starting(testing::read_text(journal), "");
  }
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 128 + SIGTERM) << "the run ended before it could be stopped";
}

TEST_F(PoresProgram, StoppedRunResumesWithoutSolvingFinishedPoresAgain) {
  const fs::path image = dir / "balls.tif";
  eight_balls().write_tiff(image);
  const std::vector<std::string> common = {image.string(), "--threshold", "100", "--M", "8", "--threads", "1"};
  auto with_dir = [&](const fs::path& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> args = common;
    args.insert(args.end(), {"-o", out.string()});
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
  };
  const Outcome whole = run(pores_command(with_dir(dir / "whole")), dir, "whole");
  ASSERT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(count_lines_starting(whole.out, " ["), 8u);

  // Stopped by SIGTERM once two pores are in the journal.
  const fs::path stopped = dir / "stopped", journal = stopped / "pores.journal";
  ASSERT_NO_FATAL_FAILURE(stop_once_two_pores_are_in(with_dir(stopped), journal, dir / "stopped.out", dir / "stopped.err"));
  EXPECT_NE(testing::read_text(dir / "stopped.err").find("stopped by SIGTERM"), std::string::npos);
  EXPECT_FALSE(fs::exists(stopped / "pores.csv"));
  const std::size_t finished = count_lines_starting(testing::read_text(journal), "") - 1;
  ASSERT_GE(finished, 2u);
  ASSERT_LT(finished, 8u);
  // As if a kill had cut the next record short.
  const std::string intact = testing::read_text(journal);
  std::ofstream(journal, std::ios::app) << "0badc0de 412 {\"index\":3,\"label\":";

  // Without --resume, or with other parameters, nothing is touched.
  const Outcome again = run(pores_command(with_dir(stopped)), dir, "again");
  EXPECT_EQ(again.status, 2);
  EXPECT_NE(again.err.find("give --resume"), std::string::npos) << again.err;
  std::vector<std::string> other = with_dir(stopped, {"--resume"});
  other[4] = "10";  // --M
  const Outcome refused = run(pores_command(other), dir, "refused");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("grid: {\"M\":10,\"fill\":1.0} here, {\"M\":8,\"fill\":1.0} in the journal"), std::string::npos)
      << refused.err;
  EXPECT_EQ(testing::read_text(journal).substr(0, intact.size()), intact);

  const Outcome resumed = run(pores_command(with_dir(stopped, {"--resume"})), dir, "resumed");
  ASSERT_EQ(resumed.status, 0) << resumed.out << resumed.err;
  EXPECT_NE(resumed.out.find("dropped 32 bytes"), std::string::npos) << resumed.out;
  EXPECT_NE(resumed.out.find("resumed with " + std::to_string(finished) + " of 8 pores already solved"), std::string::npos);
  EXPECT_EQ(count_lines_starting(resumed.out, " ["), 8 - finished) << "finished pores were solved again";
  EXPECT_EQ(count_lines_starting(testing::read_text(journal), ""), 9u);
  for (const char* file : {"pores.csv", "pores.json", "effective.json", "pores.png"})
    EXPECT_EQ(testing::read_text(stopped / file), testing::read_text(dir / "whole" / file)) << file;
}

// A stop while levels of several pores are being solved side by side: the
// pores whose levels were all in are journaled, none half, and --resume
// writes the uninterrupted run's files.
TEST_F(PoresProgram, StoppedLadderSolvedSideBySideResumesToTheSameFiles) {
  const fs::path image = dir / "balls.tif";
  eight_balls().write_tiff(image);
  auto args = [&](const fs::path& out, std::vector<std::string> extra = {}) {
    std::vector<std::string> a = {image.string(), "--threshold", "100", "--ladder", "6,8,10", "--threads", "2", "-o", out.string()};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
  };
  const Outcome whole = run(pores_command(args(dir / "whole")), dir, "whole");
  ASSERT_EQ(whole.status, 0) << whole.err;

  const fs::path stopped = dir / "stopped", journal = stopped / "pores.journal";
  ASSERT_NO_FATAL_FAILURE(stop_once_two_pores_are_in(args(stopped), journal, dir / "stopped.out", dir / "stopped.err"));
  const std::size_t finished = count_lines_starting(testing::read_text(journal), "") - 1;
  ASSERT_GE(finished, 2u);
  ASSERT_LT(finished, 8u);

  const Outcome resumed = run(pores_command(args(stopped, {"--resume"})), dir, "resumed");
  ASSERT_EQ(resumed.status, 0) << resumed.out << resumed.err;
  EXPECT_EQ(count_lines_starting(resumed.out, " ["), 8 - finished) << "finished pores were solved again";
  for (const char* file : {"pores.csv", "pores.json", "effective.json"})
    EXPECT_EQ(testing::read_text(stopped / file), testing::read_text(dir / "whole" / file)) << file;
}

struct BadInput {
  const char* name;
  std::vector<std::string> args;  // IMAGE stands for a good image, EMPTY for one without pores
  const char* message;
};
void PrintTo(const BadInput& b, std::ostream* os) { *os << b.name; }

class PoresBadInput : public PoresProgram, public ::testing::WithParamInterface<BadInput> {};

TEST_P(PoresBadInput, IsRefusedWithStatus2AndWritesNothing) {
  const BadInput& bad = GetParam();
  SyntheticStack pores(16, 16, 16);
  pores.add("ball", testing::ball({8, 8, 8}, 3));
  pores.write_tiff(dir / "good.tif");
  SyntheticStack solid(16, 16, 16);
  solid.add("ball", testing::ball({8, 8, 8}, 3));
  image::write_tiff_stack(dir / "empty.tif", 16, 16, 16, solid.samples(20, 20), 8);
  std::ofstream(dir / "garbage.tif") << "not an image at all";
  const fs::path out = dir / "out";
  std::vector<std::string> args;
  for (const std::string& a : bad.args)
    args.push_back(a == "IMAGE" ? (dir / "good.tif").string() : a == "EMPTY" ? (dir / "empty.tif").string()
                   : a == "GARBAGE" ? (dir / "garbage.tif").string() : a == "OUT" ? out.string() : a);
  const Outcome o = run(pores_command(args), dir);
  EXPECT_EQ(o.status, 2) << o.out << o.err;
  EXPECT_NE(o.err.find(bad.message), std::string::npos) << o.err;
  EXPECT_FALSE(fs::exists(out));
}

INSTANTIATE_TEST_SUITE_P(
    Table, PoresBadInput,
    ::testing::Values(
        BadInput{"no_pore", {"EMPTY", "--threshold", "100", "-o", "OUT"}, "the image has no pore voxel"},
        BadInput{"every_pore_too_small", {"IMAGE", "--threshold", "100", "--min-voxels", "500", "-o", "OUT"}, "no pore is left to solve"},
        BadInput{"missing_file", {"absent.tif", "-o", "OUT"}, "absent.tif"},
        BadInput{"not_an_image", {"GARBAGE", "-o", "OUT"}, "garbage.tif"},
        BadInput{"M_below_4", {"IMAGE", "--threshold", "100", "--M", "3", "-o", "OUT"}, "--M must be a whole number from 4"},
        BadInput{"option_without_value", {"IMAGE", "-o", "OUT", "--M"}, "option --M needs a number"},
        BadInput{"output_without_value", {"IMAGE", "--threshold", "100", "-o"}, "option -o needs a value"},
        BadInput{"unknown_sampling", {"IMAGE", "--threshold", "100", "--sampling", "trilinear", "-o", "OUT"},
                 "--sampling takes 'nearest' or 'smooth'"},
        BadInput{"stiff_pore", {"IMAGE", "--threshold", "100", "--E1", "2", "-o", "OUT"}, "a pore must be softer than the matrix"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace csolver
