// The default levels follow the shape's thinnest extent: a sphere of radius
// 0.5 and anything thicker take 48...128; thinner shapes a ladder scaled by
// how much thinner they are, from 4/3 (finest 128, as the sphere's) to twice.
#include "contribution_study/default_levels.h"

#include "shapes/shapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace csolver::study_tool {
namespace {

std::vector<std::int32_t> flags_of(const shapes::Ellipsoid& e) {
  return shapes::volume_flags(PROBE_M, shapes::inside(e));
}

TEST(DefaultVolumeLevels, FollowTheThinnestExtent) {
  const struct {
    std::string name;
    shapes::Ellipsoid shape;
    std::vector<std::int32_t> levels;
  } cases[] = {
      {"sphere of radius 0.5", {{0.5, 0.5, 0.5}}, {48, 64, 80, 96, 112, 128}},
      {"sphere of radius 0.8", {{0.8, 0.8, 0.8}}, {48, 64, 80, 96, 112, 128}},
      // 15 intervals across: scaled by 16/15, raised to 4/3.
      {"sphere of radius 0.47", {{0.47, 0.47, 0.47}}, {40, 56, 64, 72, 88, 104, 128}},
      {"oblate spheroid 0.55 x 0.22", {{0.55, 0.55, 0.22}}, {64, 80, 96, 112, 128, 160, 192}},
      {"thin disc, capped at twice", {{0.6, 0.6, 0.1}}, {64, 80, 96, 112, 128, 160, 192}},
      // 12 intervals across: 4/3 of the sphere's levels.
      {"prolate spheroid 0.4 x 0.7", {{0.4, 0.4, 0.7}}, {40, 56, 64, 72, 88, 104, 128}},
  };
  for (const auto& c : cases) EXPECT_EQ(default_volume_levels(flags_of(c.shape)), c.levels) << c.name;
}

TEST(DefaultVolumeLevels, TurningTheShapeKeepsTheLevels) {
  EXPECT_EQ(default_volume_levels(flags_of({{0.22, 0.55, 0.55}})), default_volume_levels(flags_of({{0.55, 0.55, 0.22}})));
  EXPECT_EQ(default_volume_levels(flags_of({{0.55, 0.22, 0.55}})), default_volume_levels(flags_of({{0.55, 0.55, 0.22}})));
}

}  // namespace
}  // namespace csolver::study_tool
