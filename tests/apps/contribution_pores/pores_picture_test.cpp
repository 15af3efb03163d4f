// pores.png's slices: kept pores by label, dropped ones grey, the solid as
// solid, each slice through the image's middle with its second axis up.
#include "contribution_pores/pores_picture.h"
#include "tools/images/pore_stack.h"

#include <gtest/gtest.h>

namespace csolver::pores {
namespace {

TEST(PoresPicture, MidSlicesColourKeptPoresByLabelAndDroppedOnesGrey) {
  // All three objects cross the middle page z = 16: a ball kept, a speck
  // dropped as small, a ball cut by the face x = 0 dropped at the border.
  testing::SyntheticStack stack(32, 30, 33);
  stack.add("kept ball", testing::ball({10, 9, 16}, 3));
  stack.add_voxels({"speck", {{20, 9, 16}, {21, 9, 16}}});
  stack.add("ball at the border", testing::ball({0, 22, 16}, 3));
  PoresOptions options;
  const Population p = analyse_image(stack.mask(), options);
  ASSERT_EQ(p.selection.kept.size(), 1u);
  const std::uint32_t kept_label = p.selection.kept[0].label;

  const drawing::RasterFigure figure = mid_slices(p);
  ASSERT_EQ(figure.panels.size(), 3u);
  const drawing::Raster& xy = figure.panels[0];
  EXPECT_EQ(xy.label, "xy at z = 16");
  ASSERT_EQ(xy.width, 32);
  ASSERT_EQ(xy.height, 30);
  auto at = [](const drawing::Raster& r, std::int32_t u, std::int32_t v) { return r.cells[static_cast<std::size_t>(v * r.width + u)]; };
  EXPECT_EQ(at(xy, 10, 9), FIRST_KEPT + (kept_label - 1) % PORE_COLOURS);
  EXPECT_EQ(at(xy, 20, 9), DROPPED);
  EXPECT_EQ(at(xy, 0, 22), DROPPED);
  EXPECT_EQ(at(xy, 16, 16), SOLID);
  // xz at the middle row y = 15 and yz at the middle column x = 16: their
  // second axis is z, drawn upwards.
  EXPECT_EQ(figure.panels[1].label, "xz at y = 15");
  EXPECT_EQ(figure.panels[1].height, 33);
  EXPECT_EQ(figure.panels[2].label, "yz at x = 16");
  EXPECT_EQ(figure.panels[2].width, 30);
  for (const drawing::Raster& r : figure.panels)
    for (std::uint16_t c : r.cells) EXPECT_LT(c, figure.palette.size());

  const std::string png = pores_picture(p);
  EXPECT_EQ(png.substr(1, 3), "PNG");
}

TEST(PoresPicture, LargeImagesAreSampledToAFewHundredCells) {
  testing::SyntheticStack stack(1700, 6, 5);
  stack.add("ball", testing::ball({849, 2, 2}, 1.5));  // voxels y = 1..3 at x = 849 = 3 x 283
  const Population p = analyse_image(stack.mask(), PoresOptions{});
  ASSERT_EQ(p.selection.kept.size(), 1u);
  const drawing::RasterFigure figure = mid_slices(p);
  const drawing::Raster& xy = figure.panels[0];
  EXPECT_EQ(xy.label, "xy at z = 2, sampled every 3 voxels");
  ASSERT_EQ(xy.width, 567);  // columns 0, 3, ..., 1698
  ASSERT_EQ(xy.height, 2);   // rows 0 and 3
  EXPECT_EQ(xy.cells[283], SOLID);              // (849, 0)
  EXPECT_EQ(xy.cells[567 + 283], FIRST_KEPT);   // (849, 3)
  EXPECT_EQ(xy.cells[567 + 284], SOLID);        // (852, 3)
}

}  // namespace
}  // namespace csolver::pores
