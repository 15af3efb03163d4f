// The console program is a front end of the library: for the same shape its
// result.json holds bitwise the tensors the library returns. Both run in this
// process, so FFTW reuses the plans it measured for the first run and both
// convolutions round alike.
#include "contribution/solve.h"
#include "contribution_solver/run.h"
#include "shapes/shapes.h"
#include "support/scratch.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <fstream>

namespace csolver {
namespace {

nlohmann::json run_console(const testing::ScratchDir& dir, const std::string& input) {
  std::ofstream(dir.path() / "input.txt") << input;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = run_program(dir.path(), out, err);
  std::fclose(out);
  std::fclose(err);
  EXPECT_EQ(status, 0);
  return nlohmann::json::parse(testing::read_text(dir.path() / "result.json"));
}

void expect_bitwise(const nlohmann::json& rows, const contribution::Tensor6& tensor, const char* name) {
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c)
      EXPECT_EQ(rows[r][c].get<double>(), tensor[r][c]) << name << "(" << r + 1 << ", " << c + 1 << ")";
}

TEST(LibraryAgreement, InhomogeneityFromFlagsEqualsTheProgramBitwise) {
  const testing::ScratchDir dir(testing::current_test_name());
  shapes::Ellipsoid e;
  e.semi_axes = {0.7, 0.5, 0.4};
  e.angles_degrees = {0, 20, 35};
  shapes::Materials m;
  m.E1 = 0.3;
  const int M = 14;
  const nlohmann::json json =
      run_console(dir, shapes::input_text(shapes::volume_node_table(M, shapes::inside(e)), m, false, "ellipsoid"));

  contribution::InhomogeneityProblem problem;
  problem.inhomogeneity = {m.E1, m.n1};
  problem.nodes_per_axis = M + 1;
  problem.flags = shapes::volume_flags(M, shapes::inside(e));
  // The console program solves in double precision unless told otherwise,
  // and pads the box to exactly twice its size.
  contribution::SolveOptions options;
  options.precision = contribution::Precision::double_precision;
  options.smooth_padding = false;
  const contribution::InhomogeneityResult result = contribution::solve_inhomogeneity(problem, options);
  EXPECT_EQ(json["convolution"], "octant");
  EXPECT_EQ(json["precision"], "double");
  expect_bitwise(json["H_tensor"], result.H, "H");
  expect_bitwise(json["N_tensor"], result.N, "N");
  expect_bitwise(json["mean_field"], result.mean_field, "mean_field");
  for (std::size_t n = 0; n < 6; ++n)
    EXPECT_EQ(json["load_cases"][n]["iterations"].get<int>(), result.load_cases[n].iterations);
}

// The crack read from N^3 records of input.txt equals the crack given by the
// flags of its plane alone.
TEST(LibraryAgreement, CrackFromThePlaneEqualsTheProgramBitwise) {
  const testing::ScratchDir dir(testing::current_test_name());
  const shapes::PlanarEllipse ellipse{0.6, 0.35, 0.1, -0.05, 30};
  const int M = 24;
  const nlohmann::json json = run_console(
      dir, shapes::input_text(shapes::crack_node_table(M, shapes::inside(ellipse)), {}, true, "elliptical crack"));
  EXPECT_EQ(json["kernel"], "specified");
  EXPECT_EQ(json["convolution"], "octant");  // coordinates as written by the generator lie on the grid

  contribution::CrackProblem problem;
  problem.nodes_per_axis = M + 1;
  problem.flags = shapes::crack_flags(M, shapes::inside(ellipse));
  problem.kernel = contribution::PlanarKernel::specified;
  contribution::SolveOptions options;
  options.precision = contribution::Precision::double_precision;
  options.smooth_padding = false;
  const contribution::CrackResult result = contribution::solve_crack(problem, options);
  EXPECT_EQ(json["precision"], "double");
  expect_bitwise(json["H_tensor"], result.H, "H");
  expect_bitwise(json["N_tensor"], result.N, "N");
  for (std::size_t r = 0; r < 3; ++r)
    for (std::size_t c = 0; c < 3; ++c) EXPECT_EQ(json["max_opening"][r][c].get<double>(), result.max_opening[r][c]);
}

}  // namespace
}  // namespace csolver
