// The library's interface: the problems it refuses and why, the progress and
// cancellation it offers, and the records it returns.
#include "contribution/solve.h"

#include "shapes/shapes.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <thread>
#include <vector>

namespace contribution {
namespace {

namespace shapes = csolver::shapes;

InhomogeneityProblem sphere(int M, double E1) {
  InhomogeneityProblem p;
  p.inhomogeneity.E = E1;
  p.nodes_per_axis = M + 1;
  p.flags = shapes::volume_flags(M, shapes::inside(shapes::Ellipsoid{}));
  return p;
}

CrackProblem penny(int M, double radius) {
  CrackProblem p;
  p.nodes_per_axis = M + 1;
  p.flags = shapes::crack_flags(M, shapes::inside(shapes::PlanarEllipse{radius, radius}));
  return p;
}

SolveOptions quick() {
  SolveOptions options;
  options.measure_plans = false;
  return options;
}

std::string refusal(const std::function<void()>& solve) {
  try {
    solve();
  } catch (const InvalidProblem& e) {
    return e.what();
  }
  return "(accepted)";
}

struct BadProblem {
  const char* name;
  std::function<void(InhomogeneityProblem&)> spoil;
  const char* message;  // a part of the expected message
};

TEST(SolveInterface, RefusesBadInhomogeneityProblemsWithTheProgramsMessages) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const BadProblem cases[] = {
      {"one node per axis", [](auto& p) { p.nodes_per_axis = 1; p.flags = {1}; }, "found N = 1 nodes per axis"},
      {"flags of another grid", [](auto& p) { p.flags.pop_back(); }, "expected N^3 = 729"},
      {"no matrix modulus", [](auto& p) { p.matrix.E = 0; }, "found E0 = 0, expected a Young's modulus > 0"},
      {"incompressible matrix", [](auto& p) { p.matrix.nu = 0.5; }, "found n0 = 0.5, expected a Poisson's ratio"},
      {"negative modulus", [](auto& p) { p.inhomogeneity.E = -1; }, "found E1 = -1, expected a Young's modulus > 0, or exactly 0 or infinity"},
      {"modulus not a number", [nan](auto& p) { p.inhomogeneity.E = nan; }, "found E1 = nan"},
      {"auxetic beyond -1", [](auto& p) { p.inhomogeneity.nu = -1; }, "found n1 = -1"},
      {"tolerance not a number", [nan](auto& p) { p.tol = nan; }, "found tol = nan"},
      {"empty shape", [](auto& p) { std::fill(p.flags.begin(), p.flags.end(), 0); },
       "no node is flagged 1: the inhomogeneity is empty"},
      {"one coordinate axis only", [](auto& p) { p.x.assign(p.flags.size(), 0.0); }, "(one per node, for every axis)"},
      {"non-finite coordinate",
       [nan](auto& p) {
         for (auto* c : {&p.x, &p.y, &p.z}) c->assign(p.flags.size(), 0.0);
         p.z[3] = nan;
       },
       "non-finite node coordinate"},
  };
  for (const BadProblem& c : cases) {
    InhomogeneityProblem p = sphere(8, 10);
    c.spoil(p);
    EXPECT_NE(refusal([&] { solve_inhomogeneity(p, quick()); }).find(c.message), std::string::npos)
        << c.name << ": " << refusal([&] { solve_inhomogeneity(p, quick()); });
  }
}

TEST(SolveInterface, RefusesAnEmptyCrackAndAPlaneOfTheWrongSize) {
  CrackProblem empty = penny(8, 0.5);
  std::fill(empty.flags.begin(), empty.flags.end(), 0);
  EXPECT_EQ(refusal([&] { solve_crack(empty, quick()); }), "no node is flagged 1: the crack is empty");
  CrackProblem volume = penny(8, 0.5);
  volume.flags.resize(9 * 9 * 9);
  EXPECT_NE(refusal([&] { solve_crack(volume, quick()); }).find("expected N^2 = 81"), std::string::npos);
}

TEST(SolveInterface, RefusesAProblemLargerThanTheMachineBeforeWorking) {
  SolveOptions options = quick();
  options.machine_memory_bytes = 1 << 20;
  bool called = false;
  options.progress = [&](const ProgressEvent&) { return called = true; };
  EXPECT_THROW(solve_inhomogeneity(sphere(24, 10), options), ResourceError);
  EXPECT_FALSE(called);
}

// Events arrive in the order of the run, and the finished events carry the
// statuses the result returns.
TEST(SolveInterface, ReportsProgressInTheOrderOfTheRun) {
  std::vector<ProgressEvent> events;
  std::vector<LoadCaseStatus> finished;
  SolveOptions options = quick();
  options.progress = [&](const ProgressEvent& e) {
    events.push_back(e);
    if (e.kind == ProgressEvent::Kind::load_case_finished) finished.push_back(*e.status);
    return true;
  };
  const InhomogeneityResult result = solve_inhomogeneity(sphere(8, 0.2), options);
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().kind, ProgressEvent::Kind::kernel_ready);
  int load_case = 1, iteration = 0;
  for (std::size_t i = 1; i < events.size(); ++i) {
    const ProgressEvent& e = events[i];
    EXPECT_EQ(e.load_case, load_case);
    if (e.kind == ProgressEvent::Kind::iteration) {
      EXPECT_EQ(e.iteration, ++iteration);
    } else {
      ASSERT_EQ(e.kind, ProgressEvent::Kind::load_case_finished);
      EXPECT_EQ(e.iteration, iteration);
      ++load_case, iteration = 0;
    }
  }
  EXPECT_EQ(load_case, 7);
  ASSERT_EQ(finished.size(), 6u);
  for (std::size_t n = 0; n < 6; ++n) {
    EXPECT_TRUE(result.load_cases[n].converged);
    EXPECT_EQ(finished[n].iterations, result.load_cases[n].iterations);
    EXPECT_EQ(finished[n].error, result.load_cases[n].error);
  }
  EXPECT_EQ(result.formulation, Formulation::compliance);
  EXPECT_EQ(result.shear_order, ShearOrder::yz_xz_xy);
  EXPECT_GT(result.seconds.total, 0.0);
  EXPECT_GE(result.seconds.total, result.seconds.kernel + result.seconds.solve);
}

TEST(SolveInterface, CancelsWhenTheCallbackSaysSo) {
  std::vector<ProgressEvent> events;
  SolveOptions options = quick();
  options.progress = [&](const ProgressEvent& e) {
    events.push_back(e);
    return !(e.load_case == 2 && e.iteration == 3);
  };
  for (int branch = 0; branch < 2; ++branch) {
    events.clear();
    if (branch == 0) {
      EXPECT_THROW(solve_inhomogeneity(sphere(8, 10), options), Cancelled);
    } else {
      EXPECT_THROW(solve_crack(penny(16, 0.5), options), Cancelled);
    }
    // Nothing ran past the iteration that asked to stop.
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(events.back().kind, ProgressEvent::Kind::iteration);
    EXPECT_EQ(events.back().load_case, 2);
    EXPECT_EQ(events.back().iteration, 3);
  }
}

// The box follows the flagged nodes; the stiffness formulation reports its
// shear pairs 12, 13, 23, which the reordering puts back to 23, 13, 12.
TEST(SolveInterface, ReturnsTheBoxAndTheShearOrderOfTheFormulation) {
  InhomogeneityProblem p;
  p.inhomogeneity.E = 4;
  p.nodes_per_axis = 11;
  shapes::Cuboid brick;
  brick.half_edges = {0.6, 0.4, 0.2};
  p.flags = shapes::volume_flags(10, shapes::inside(brick));
  const InhomogeneityResult r = solve_inhomogeneity(p, quick());
  EXPECT_EQ(r.box.offset, (std::array<std::int32_t, 3>{2, 3, 4}));
  EXPECT_EQ(r.box.extent, (std::array<std::int32_t, 3>{7, 5, 3}));
  EXPECT_EQ(r.formulation, Formulation::stiffness);
  EXPECT_EQ(r.shear_order, ShearOrder::xy_xz_yz);
  const Tensor6 standard = in_yz_xz_xy_order(r.H, r.shear_order);
  EXPECT_EQ(standard[3][3], r.H[5][5]);
  EXPECT_EQ(standard[5][5], r.H[3][3]);
  EXPECT_EQ(standard[0][3], r.H[0][5]);
  EXPECT_EQ(standard[4][4], r.H[4][4]);
}

// On the regular grid the kernels are exact mirror images of themselves and
// only the octant of their spectra is stored; coordinates given off the grid
// (here one node moved by 1e-9 of a step) take the half spectrum. The
// tensors follow the coordinates, not the layout.
TEST(SolveInterface, TakesTheOctantOnlyOnARegularGrid) {
  InhomogeneityProblem p = sphere(8, 5);
  const std::size_t N = 9;
  const double h = grid_step(8);
  for (std::size_t n = 0; n < N * N * N; ++n) {
    p.x.push_back(-1 + static_cast<double>(n % N) * h);
    p.y.push_back(-1 + static_cast<double>(n / N % N) * h);
    p.z.push_back(-1 + static_cast<double>(n / N / N) * h);
  }
  const InhomogeneityResult given = solve_inhomogeneity(p, quick());
  EXPECT_EQ(given.spectra, KernelSpectra::octant);
  const std::size_t centre = 4 + N * (4 + N * 4);
  p.x[centre] += 1e-9 * h;
  const InhomogeneityResult moved = solve_inhomogeneity(p, quick());
  EXPECT_EQ(moved.spectra, KernelSpectra::half_spectrum);
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) EXPECT_NEAR(moved.H[r][c], given.H[r][c], 1e-6 * std::abs(given.H[0][0]));

  CrackProblem crack = penny(8, 0.5);
  EXPECT_EQ(solve_crack(crack, quick()).spectra, KernelSpectra::octant);
  for (std::size_t n = 0; n < N * N; ++n) {
    crack.x.push_back(-1 + static_cast<double>(n % N) * h);
    crack.y.push_back(-1 + static_cast<double>(n / N) * h);
  }
  crack.y[4 + N * 4] += 1e-9 * h;
  EXPECT_EQ(solve_crack(crack, quick()).spectra, KernelSpectra::half_spectrum);
}

TEST(SolveInterface, KeepsTheOpeningFieldOnThePlane) {
  CrackProblem p = penny(16, 0.5);
  p.kernel = PlanarKernel::specified;
  p.keep_opening = true;
  const CrackResult r = solve_crack(p, quick());
  const std::size_t N = 17;
  ASSERT_EQ(r.opening.size(), 9 * N * N);
  for (std::size_t lc = 0; lc < 3; ++lc)
    for (std::size_t c = 0; c < 3; ++c) {
      const auto first = r.opening.begin() + static_cast<std::ptrdiff_t>((lc * 3 + c) * N * N);
      const double largest = *std::max_element(first, first + static_cast<std::ptrdiff_t>(N * N));
      EXPECT_EQ(std::max(largest, 0.0), r.max_opening[lc][c]) << lc << " " << c;
    }
  // The normal opening under the normal load is largest at the centre.
  const std::size_t centre = 8 + N * 8;
  EXPECT_EQ(r.opening[(2 * 3 + 2) * N * N + centre], r.max_opening[2][2]);
  // Outside the box nothing was solved.
  EXPECT_EQ(r.opening[(2 * 3 + 2) * N * N + 0], 0.0);
}

// A solve asked for T threads keeps every OpenMP team to T (the Krylov
// vector operations included) and leaves the caller's setting as it was.
TEST(SolveInterface, KeepsToItsThreadsAndRestoresTheCallers) {
  const int before = omp_get_max_threads();
  omp_set_num_threads(3);  // the caller's own choice, whatever the machine
  SolveOptions options = quick();
  options.threads = 1;
  int inside = 0;
  options.progress = [&](const ProgressEvent&) {
    inside = std::max(inside, omp_get_max_threads());
    return true;
  };
  solve_inhomogeneity(sphere(8, 0.2), options);
  EXPECT_EQ(inside, 1);
  EXPECT_EQ(omp_get_max_threads(), 3);
  omp_set_num_threads(before);
}

// Solves on threads of their own, side by side, plan their transforms under
// FFTW's planner lock and give what each gives alone, to the last bit.
TEST(SolveInterface, SolvesSideBySideAsAlone) {
  SolveOptions options = quick();
  options.threads = 1;
  const InhomogeneityResult void_alone = solve_inhomogeneity(sphere(12, 0), options);
  const CrackResult crack_alone = solve_crack(penny(16, 0.5), options);
  for (int round = 0; round < 3; ++round) {
    InhomogeneityResult void_beside;
    CrackResult crack_beside;
    std::thread a([&] { void_beside = solve_inhomogeneity(sphere(12, 0), options); });
    std::thread b([&] { crack_beside = solve_crack(penny(16, 0.5), options); });
    a.join();
    b.join();
    EXPECT_EQ(void_beside.H, void_alone.H);
    EXPECT_EQ(crack_beside.H, crack_alone.H);
  }
}

}  // namespace
}  // namespace contribution
