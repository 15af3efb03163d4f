#include "model/problem_setup.h"

#include "shapes/shapes.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

TEST(ProblemSetup, GridStepIsTheSinglePrecisionQuotient) {
  EXPECT_EQ(grid_step(20), 0.10000000149011612);
  EXPECT_EQ(grid_step(3), static_cast<double>(2.0f / 3.0f));
}

// Flagged nodes exactly at -0.5 ... 0.5 with M = 20 give offset 5, extent 11.
TEST(ProblemSetup, BoundingBoxOfTheFlaggedNodes) {
  const NodeTable nodes = shapes::volume_node_table(20, [](const shapes::Point& p) {
    return std::abs(p[0]) <= 0.5 && std::abs(p[1]) <= 0.2 && p[2] >= 0 && p[2] <= 0.9;
  });
  const BoxBounds b = inhomogeneity_bounds(nodes, grid_step(20));
  EXPECT_EQ(b.ix0, 5);
  EXPECT_EQ(b.nx, 11);
  EXPECT_EQ(b.iy0, 8);
  EXPECT_EQ(b.ny, 5);
  EXPECT_EQ(b.iz0, 10);
  EXPECT_EQ(b.nz, 10);
}

// A flag of 2 is outside for the box and the contrast, but kept as a weight.
TEST(ProblemSetup, OnlyFlagOneCountsForTheBoxAndTheContrast) {
  NodeTable nodes = shapes::volume_node_table(4, [](const shapes::Point& p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; });
  nodes.node_flag[nodes.index(3, 2, 2)] = 2;
  ProblemSetup setup;
  setup.E0 = 1, setup.n0 = 0.3, setup.E1 = 2, setup.n1 = 0.3, setup.M = 4, setup.N = 5, setup.h = grid_step(4);
  derive_constants(setup);
  setup.formulation = choose_formulation(setup.E1, setup.E0);
  BoxBounds b = inhomogeneity_bounds(nodes, setup.h);
  EXPECT_EQ(b.nx, 1);
  b.nx = 2;  // widen by hand to take the flag-2 node in
  const Box box = build_box(setup, nodes, b);
  EXPECT_EQ(box.box_flag[1], 2);
  EXPECT_EQ(box.box_coef_vol[1], 0.0);
  EXPECT_EQ(box.box_coef_vol[0], setup.dC_vol);
  EXPECT_EQ(box.box_coef_shear[0], 2 * (setup.G1 - setup.G0));
}

TEST(ProblemSetup, FormulationFollowsTheStiffnessRatio) {
  EXPECT_EQ(choose_formulation(1.0, 1.0), Formulation::compliance);
  EXPECT_EQ(choose_formulation(1.0000001, 1.0), Formulation::stiffness);
  EXPECT_EQ(choose_formulation(0.0, 0.0), Formulation::compliance);
}

TEST(ProblemSetup, CrackBoundsUseThePlaneKEqualsOneOnly) {
  NodeTable nodes = shapes::crack_node_table(10, [](double x, double y) { return std::abs(x) <= 0.4 && std::abs(y) <= 0.2; });
  nodes.node_flag[nodes.index(0, 0, 5)] = 1;  // other planes play no part
  const BoxBounds b = crack_bounds(nodes, grid_step(10));
  EXPECT_EQ(b.ix0, 3);
  EXPECT_EQ(b.nx, 5);
  EXPECT_EQ(b.iy0, 4);
  EXPECT_EQ(b.ny, 3);
  EXPECT_EQ(b.nz, 1);
}

}  // namespace
}  // namespace csolver
