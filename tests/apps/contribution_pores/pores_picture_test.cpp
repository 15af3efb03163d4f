// pores.png: projections in which every kept pore shows, coloured by its
// value, and the population plots beneath.
#include "contribution_pores/pores_picture.h"
#include "tools/drawing/decoded_png.h"
#include "tools/images/pore_stack.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <set>
#include <stdexcept>

namespace csolver::pores {
namespace {

std::uint16_t at(const drawing::Raster& r, std::int32_t u, std::int32_t v) {
  return r.cells[static_cast<std::size_t>(v * r.width + u)];
}

// A solved result whose E0 |H| grows with `size` (H = size times the identity).
PoreResult solved(std::size_t index, double size) {
  PoreResult r;
  r.index = index;
  r.status = PoreStatus::solved;
  for (std::size_t i = 0; i < 6; ++i) r.H[i][i] = size;
  return r;
}

TEST(PoresPicture, ProjectionsShowKeptPoresByValueSmallestInFrontAndDroppedOnesGrey) {
  // Along z a small ball sits behind (above) a large one; a speck is dropped
  // as small, a ball cut by the face x = 0 at the border.
  testing::SyntheticStack stack(32, 30, 33);
  stack.add("large ball", testing::ball({12, 12, 8}, 5));
  stack.add("small ball behind it", testing::ball({12, 12, 22}, 2));
  stack.add_voxels({"speck", {{26, 25, 16}, {27, 25, 16}}});
  stack.add("ball at the border", testing::ball({0, 24, 26}, 3));
  const Population p = analyse_image(stack.mask(), PoresOptions{});
  ASSERT_EQ(p.selection.kept.size(), 2u);
  // Label order: the large ball's first voxel comes first.
  const std::vector<double> values = {1.0, 3.0};
  const ColourScale scale = colour_scale(values);
  const drawing::RasterFigure figure = projections(p, values, scale);
  ASSERT_EQ(figure.panels.size(), 3u);
  const drawing::Raster &xy = figure.panels[0], &xz = figure.panels[1], &yz = figure.panels[2];
  EXPECT_EQ(xy.label, "along z (xy)");
  ASSERT_EQ(xy.width, 32);
  ASSERT_EQ(xy.height, 30);
  ASSERT_EQ(xz.height, 33);
  ASSERT_EQ(yz.width, 30);
  const std::uint16_t large = scale.cell(1.0), small = scale.cell(3.0);
  EXPECT_EQ(large, FIRST_LEVEL);
  EXPECT_EQ(small, FIRST_LEVEL + COLOUR_LEVELS - 1);
  EXPECT_EQ(at(xy, 12, 12), small);   // the small ball in front of the large one
  EXPECT_EQ(at(xy, 16, 12), large);   // beside it, the large one
  EXPECT_EQ(at(xz, 12, 8), large);    // seen from the side, each in its place
  EXPECT_EQ(at(xz, 12, 22), small);
  EXPECT_EQ(at(yz, 12, 22), small);
  EXPECT_EQ(at(xy, 26, 25), DROPPED);
  EXPECT_EQ(at(xy, 0, 24), DROPPED);
  EXPECT_EQ(at(xy, 28, 2), SOLID);
  // Unsolved pores are black.
  EXPECT_EQ(at(projections(p, {1.0, std::nan("")}, scale).panels[0], 12, 12), UNSOLVED);
  for (const drawing::Raster& r : figure.panels)
    for (std::uint16_t c : r.cells) EXPECT_LT(c, figure.palette.size());
  // No pore solved: the picture is still drawn, the scatter plot empty.
  const testing::DecodedPng none = testing::decode_png(pores_picture(p, {PoreResult{}, PoreResult{}}, 1.0));
  EXPECT_EQ(none.status, CAIRO_STATUS_SUCCESS);
  const drawing::RasterLayout layout = drawing::layout_rasters(figure);
  EXPECT_EQ(none.at(layout.pixel_column(0, 12), layout.pixel_row(0, xy, 12)), UNSOLVED_COLOUR);
}

// Forty balls scattered at random, each solved but one: in the picture every
// kept pore covers pixels of its own colour in each of the three projections.
TEST(PoresPicture, EveryKeptPoreOfAScatteredStackShowsInEveryProjection) {
  testing::SyntheticStack stack(70, 64, 58);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(0, 1);
  int placed = 0;
  for (int attempt = 0; placed < 40 && attempt < 4000; ++attempt) {
    const double radius = 1.5 + 3 * unit(random);
    try {
      stack.add("ball " + std::to_string(placed),
                testing::ball({6 + 58 * unit(random), 6 + 52 * unit(random), 6 + 46 * unit(random)}, radius));
      ++placed;
    } catch (const std::logic_error&) {  // touches another: try elsewhere
    }
  }
  ASSERT_EQ(placed, 40);
  const Population p = analyse_image(stack.mask(), PoresOptions{});
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  ASSERT_GE(kept.size(), 35u);  // the smallest balls may fall under --min-voxels
  std::vector<PoreResult> results;
  for (std::size_t i = 0; i < kept.size(); ++i) results.push_back(solved(i, 0.5 + 0.1 * static_cast<double>(i)));
  results[3].status = PoreStatus::failed;

  const testing::DecodedPng png = testing::decode_png(pores_picture(p, results, 1.0));
  std::vector<double> values;
  for (std::size_t i = 0; i < kept.size(); ++i)
    values.push_back(i == 3 ? std::nan("") : std::sqrt(6.0) * (0.5 + 0.1 * static_cast<double>(i)));
  const ColourScale scale = colour_scale(values);
  const drawing::RasterFigure figure = projections(p, values, scale);
  const drawing::RasterLayout layout = drawing::layout_rasters(figure);
  ASSERT_GE(png.width, layout.width);
  ASSERT_GT(png.height, layout.height + 300);  // the plots beneath
  std::vector<std::int32_t> label(static_cast<std::size_t>(p.labels.count) + 1, -1);
  for (std::size_t i = 0; i < kept.size(); ++i) label[kept[i].label] = static_cast<std::int32_t>(i);
  for (std::size_t panel = 0; panel < 3; ++panel) {
    std::vector<bool> seen(kept.size(), false);
    std::size_t at_voxel = 0;
    for (std::int32_t z = 0; z < p.nz; ++z)
      for (std::int32_t y = 0; y < p.ny; ++y)
        for (std::int32_t x = 0; x < p.nx; ++x, ++at_voxel) {
          const std::int32_t i = label[p.labels.label[at_voxel]];
          if (i < 0 || seen[static_cast<std::size_t>(i)]) continue;
          const std::int32_t u = panel == 2 ? y : x, v = panel == 0 ? y : z;
          const drawing::Rgb colour = figure.palette[scale.cell(values[static_cast<std::size_t>(i)])];
          if (png.at(layout.pixel_column(panel, u), layout.pixel_row(panel, figure.panels[panel], v)) == colour)
            seen[static_cast<std::size_t>(i)] = true;
        }
    for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_TRUE(seen[i]) << "pore " << kept[i].label << " in panel " << panel;
  }
}

TEST(PoresPicture, LargeImagesAreDrawnInBlocksThatKeepEveryPore) {
  testing::SyntheticStack stack(1700, 6, 5);
  stack.add("ball", testing::ball({850, 2, 2}, 1.5));  // voxels x = 849..851
  const Population p = analyse_image(stack.mask(), PoresOptions{});
  ASSERT_EQ(p.selection.kept.size(), 1u);
  const drawing::Raster xy = projections(p, {1.0}, colour_scale({1.0})).panels[0];
  EXPECT_EQ(xy.label, "along z (xy), blocks of 3 voxels");
  ASSERT_EQ(xy.width, 567);
  ASSERT_EQ(xy.height, 2);
  EXPECT_EQ(xy.cells[283], FIRST_LEVEL + COLOUR_LEVELS / 2);  // block x = 849..851, y = 0..2
  EXPECT_EQ(xy.cells[282], SOLID);
  EXPECT_EQ(xy.cells[567 + 283], FIRST_LEVEL + COLOUR_LEVELS / 2);  // y = 3
}

}  // namespace
}  // namespace csolver::pores
