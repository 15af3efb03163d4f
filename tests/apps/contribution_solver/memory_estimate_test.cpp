#include "contribution_solver/memory_estimate.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

// A crack's table holds one plane of nodes, an inhomogeneity's all N^3.
TEST(NodeTableEstimate, FollowsThePlanesHeld) {
  EXPECT_EQ(node_table_bytes(10, 10), 1000u * 28u);
  EXPECT_EQ(node_table_bytes(321, 1), 321u * 321u * 28u);
}

}  // namespace
}  // namespace csolver
