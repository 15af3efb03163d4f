// The shape preview read back as a viewer sees it: each node's cell in the
// inside or outside colour as its flag says, in the slice its label names.
#include "tools/drawing/decoded_png.h"
#include "tools/tool_test_support.h"

#include "contribution_input/preview.h"
#include "shapes/shapes.h"

#include <gtest/gtest.h>

namespace csolver {
namespace {

using testing::decode_png;
using testing::DecodedPng;

// Checks every node of every panel: panel p shows the flags of flag(p, u, v).
template <class Flag>
void expect_panels_show(const drawing::RasterFigure& figure, std::int32_t N, Flag flag) {
  const drawing::RasterLayout layout = drawing::layout_rasters(figure);
  const DecodedPng image = decode_png(drawing::rasters_png(figure));
  ASSERT_EQ(image.status, CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(image.width, layout.width);
  ASSERT_EQ(image.height, layout.height);
  EXPECT_EQ(image.at(0, 0), figure.background);
  std::size_t inside = 0;
  for (std::size_t p = 0; p < figure.panels.size(); ++p)
    for (std::int32_t v = 0; v < N; ++v)
      for (std::int32_t u = 0; u < N; ++u) {
        const bool flagged = flag(p, u, v);
        inside += flagged;
        EXPECT_EQ(image.at(layout.pixel_column(p, u), layout.pixel_row(p, figure.panels[p], v)),
                  flagged ? preview::INSIDE : preview::OUTSIDE)
            << figure.panels[p].label << " node " << u << ", " << v;
      }
  EXPECT_GT(inside, 0u);
}

TEST(Preview, CrackPlaneShowsTheFlaggedNodes) {
  // An ellipse off the centre and turned, so that a transposed or flipped picture fails.
  const NodeTable nodes = shapes::crack_node_table(20, shapes::inside(shapes::PlanarEllipse{0.6, 0.3, 0.2, -0.1, 30}));
  const drawing::RasterFigure figure = preview::crack_plane(nodes);
  ASSERT_EQ(figure.panels.size(), 1u);
  EXPECT_EQ(figure.panels[0].label, "crack plane k = 1");
  expect_panels_show(figure, nodes.N, [&](std::size_t, std::int32_t u, std::int32_t v) {
    return nodes.node_flag[nodes.index(u, v, 0)] == 1;
  });
}

TEST(Preview, VolumeSlicesShowTheMidPlanesTheirLabelsName) {
  // Three different semi-axes, shifted, so that each slice differs from the others.
  const shapes::Ellipsoid e{{0.7, 0.45, 0.25}, {0.1, -0.2, 0.05}, {0, 0, 0}};
  for (std::int32_t M : {16, 15}) {
    const NodeTable nodes = shapes::volume_node_table(M, shapes::inside(e));
    const drawing::RasterFigure figure = preview::volume_slices(nodes);
    ASSERT_EQ(figure.panels.size(), 3u);
    const std::int32_t mid = (nodes.N - 1) / 2;
    if (M == 16) {
      EXPECT_EQ(figure.panels[0].label, "xy at z = 0");
      EXPECT_EQ(figure.panels[1].label, "xz at y = 0");
      EXPECT_EQ(figure.panels[2].label, "yz at x = 0");
    } else {
      // Odd M: no node plane at 0; the slice half a step below it says so.
      EXPECT_EQ(figure.panels[0].label, "xy at z = -0.0667");
    }
    auto flagged = [&nodes](std::int32_t i, std::int32_t j, std::int32_t k) { return nodes.node_flag[nodes.index(i, j, k)] == 1; };
    expect_panels_show(figure, nodes.N, [&](std::size_t p, std::int32_t u, std::int32_t v) {
      return p == 0 ? flagged(u, v, mid) : p == 1 ? flagged(u, mid, v) : flagged(mid, u, v);
    });
  }
}

// The command line's --preview writes the same picture as a file.
TEST(Preview, GeneratorWritesTheFileItNames) {
  testing::ScratchDir dir("preview");
  const auto png = dir.path() / "pictures" / "sphere.png";
  const auto run = testing::run_generator_captured(
      {"sphere", "--radius", "0.5", "--E1", "10", "--M", "12", "-o", dir.path().string(), "--preview", png.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("preview: " + png.string()), std::string::npos) << run.out;
  const std::string bytes = testing::read_text(png);
  const NodeTable nodes = shapes::volume_node_table(12, shapes::inside(shapes::Ellipsoid{}));
  EXPECT_EQ(bytes, drawing::rasters_png(preview::volume_slices(nodes)));
  EXPECT_EQ(decode_png(bytes).status, CAIRO_STATUS_SUCCESS);
}

}  // namespace
}  // namespace csolver
