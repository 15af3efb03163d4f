// Pictures read back with Cairo's PNG decoder: sizes, opaque pixels, every
// raster cell in its palette colour at the place the layout gives, plot data
// where the axis mapping puts them, nice ticks, and refusals of bad figures.
#include "tools/drawing/decoded_png.h"

#include "drawing/canvas.h"
#include "drawing/plot.h"
#include "drawing/raster_panels.h"

#include <gtest/gtest.h>
#include <cmath>

namespace csolver::drawing {
namespace {

using testing::decode_png;
using testing::DecodedPng;

// The surface is opaque even where nothing is drawn, a rectangle lands on
// its pixels in its exact 8-bit colour, and a drawing left in an error state
// is refused rather than written.
TEST(RenderPng, OpaqueExactColoursAndCheckedStatus) {
  const Rgb teal{0, 128, 129};
  const std::string png = render_png(40, 30, [&](cairo_t* cr, double width, double height) {
    EXPECT_EQ(width, 40);
    EXPECT_EQ(height, 30);
    set_colour(cr, teal);
    cairo_rectangle(cr, 10, 5, 20, 10);  // columns 10..29, rows 5..14
    cairo_fill(cr);
  });
  const DecodedPng image = decode_png(png);
  ASSERT_EQ(image.status, CAIRO_STATUS_SUCCESS);
  EXPECT_EQ(image.width, 40);
  EXPECT_EQ(image.height, 30);
  EXPECT_TRUE(image.opaque());
  EXPECT_EQ(image.at(10, 5), teal);
  EXPECT_EQ(image.at(29, 14), teal);
  EXPECT_NE(image.at(9, 5), teal);
  EXPECT_NE(image.at(30, 14), teal);
  EXPECT_NE(image.at(10, 15), teal);

  EXPECT_THROW(render_png(10, 10, [](cairo_t* cr, double, double) { cairo_restore(cr); }), DrawingError);
  EXPECT_THROW(render_png(0, 10, [](cairo_t*, double, double) {}), DrawingError);
}

TEST(DistinctColours, NeighboursDifferAndNoneIsGreyBlackOrWhite) {
  const std::vector<Rgb> colours = distinct_colours(400);
  ASSERT_EQ(colours.size(), 400u);
  auto distance = [](Rgb a, Rgb b) {
    return std::hypot(double(a.r) - b.r, double(a.g) - b.g, double(a.b) - b.b);
  };
  for (std::size_t i = 0; i < colours.size(); ++i) {
    for (Rgb reserved : {GREY, BLACK, WHITE}) EXPECT_GT(distance(colours[i], reserved), 40) << "colour " << i;
    // Labels next to each other in a picture are usually close in number.
    for (std::size_t j = i + 1; j < std::min(colours.size(), i + 4); ++j)
      EXPECT_GT(distance(colours[i], colours[j]), 60) << "colours " << i << " and " << j;
  }
  EXPECT_EQ(distinct_colours(5).size(), 5u);
  EXPECT_EQ(distinct_colours(5)[4], colours[4]);
}

RasterFigure two_panels() {
  RasterFigure f;
  f.palette = {Rgb{20, 20, 20}, GREY, Rgb{200, 30, 30}};
  Raster a{"wide 5 x 3", 5, 3, {}}, b{"tall 4 x 7", 4, 7, {}};
  for (std::int32_t v = 0; v < 3; ++v)
    for (std::int32_t u = 0; u < 5; ++u) a.cells.push_back(static_cast<std::uint16_t>((u + 2 * v) % 3));
  for (std::int32_t v = 0; v < 7; ++v)
    for (std::int32_t u = 0; u < 4; ++u) b.cells.push_back(static_cast<std::uint16_t>(u == 0 && v == 0 ? 2 : (u * v) % 2));
  f.panels = {a, b};
  f.min_panel_pixels = 50;
  return f;
}

// Every cell is a whole square of pixels in its colour, row v = 0 at the
// bottom; margins and label bands are background; each label leaves ink.
TEST(RasterPanels, CellsLandInTheirColoursWhereTheLayoutSays) {
  for (std::int32_t columns : {0, 1}) {
    RasterFigure f = two_panels();
    f.columns = columns;
    const RasterLayout layout = layout_rasters(f);
    const DecodedPng image = decode_png(rasters_png(f));
    ASSERT_EQ(image.status, CAIRO_STATUS_SUCCESS);
    ASSERT_EQ(image.width, layout.width);
    ASSERT_EQ(image.height, layout.height);
    EXPECT_TRUE(image.opaque());
    EXPECT_EQ(image.at(0, 0), f.background);
    EXPECT_EQ(image.at(image.width - 1, image.height - 1), f.background);
    for (std::size_t p = 0; p < f.panels.size(); ++p) {
      const Raster& r = f.panels[p];
      const RasterLayout::Frame& frame = layout.frames[p];
      // Scaled by whole pixels until the longer side reaches 50: 10 and 8 per cell.
      EXPECT_EQ(frame.scale, p == 0 ? 10 : 8);
      for (std::int32_t v = 0; v < r.height; ++v)
        for (std::int32_t u = 0; u < r.width; ++u) {
          const Rgb expected = f.palette[r.cells[static_cast<std::size_t>(v * r.width + u)]];
          const std::int32_t left = frame.left + u * frame.scale, top = frame.top + (r.height - 1 - v) * frame.scale;
          EXPECT_EQ(image.at(layout.pixel_column(p, u), layout.pixel_row(p, r, v)), expected) << r.label << " " << u << "," << v;
          EXPECT_EQ(image.at(left, top), expected) << r.label << " " << u << "," << v;
          EXPECT_EQ(image.at(left + frame.scale - 1, top + frame.scale - 1), expected) << r.label << " " << u << "," << v;
        }
      EXPECT_EQ(image.at(frame.left - 1, frame.top), f.background) << r.label;
      EXPECT_EQ(image.at(frame.left, frame.top - 1), f.background) << r.label;
      int ink = 0;
      for (std::int32_t y = frame.top - 20; y < frame.top - 2; ++y)
        for (std::int32_t x = frame.left; x < frame.left + r.width * frame.scale; ++x) ink += !(image.at(x, y) == f.background);
      EXPECT_GT(ink, 20) << "no label drawn above " << r.label;
    }
  }
}

TEST(RasterPanels, RefusesCellsWithoutColourAndMismatchedSizes) {
  RasterFigure f = two_panels();
  f.panels[1].cells[5] = 3;
  EXPECT_THROW(layout_rasters(f), std::invalid_argument);
  EXPECT_THROW(rasters_png(f), std::invalid_argument);
  f = two_panels();
  f.panels[0].cells.pop_back();
  EXPECT_THROW(rasters_png(f), std::invalid_argument);
  f = two_panels();
  f.panels.clear();
  EXPECT_THROW(rasters_png(f), std::invalid_argument);
}

// Ticks are multiples of 1, 2 or 5 times a power of ten, evenly spaced,
// inside a range that holds the data, and their printed numbers differ.
TEST(NiceAxis, TicksAreRoundEvenAndCoverTheData) {
  struct Case {
    double lo, hi;
  };
  for (const Case c : {Case{0, 0.125}, Case{-1.62, -1.53}, Case{2.7566, 2.8367}, Case{0.5, 0.5}, Case{0, 0},
                       Case{-3e-7, 8e-7}, Case{1e6, 3.3e6}, Case{-5, 12}, Case{0.99999, 1.00001}}) {
    const Axis axis = nice_axis(c.lo, c.hi);
    SCOPED_TRACE(::testing::Message() << "[" << c.lo << ", " << c.hi << "]");
    EXPECT_LE(axis.lo, c.lo);
    EXPECT_GE(axis.hi, c.hi);
    EXPECT_LT(axis.lo, axis.hi);
    ASSERT_GE(axis.ticks.size(), 3u);
    EXPECT_LE(axis.ticks.size(), 11u);
    // Differences of ticks near 1 lose digits: the step is known to about 1e-10 of itself.
    const double step = axis.ticks[1] - axis.ticks[0];
    const double power = std::pow(10.0, std::floor(std::log10(step) + 1e-9));
    const double mantissa = std::round(step / power);
    EXPECT_TRUE(mantissa == 1 || mantissa == 2 || mantissa == 5) << step;
    EXPECT_NEAR(step / power, mantissa, 1e-6);
    for (std::size_t i = 0; i < axis.ticks.size(); ++i) {
      EXPECT_GE(axis.ticks[i], axis.lo);
      EXPECT_LE(axis.ticks[i], axis.hi);
      const double in_steps = axis.ticks[i] / (mantissa * power);
      EXPECT_NEAR(in_steps, std::round(in_steps), 1e-6);
      if (i > 0) {
        EXPECT_NEAR(axis.ticks[i] - axis.ticks[i - 1], step, 1e-6 * step);
        EXPECT_NE(axis.label(axis.ticks[i]), axis.label(axis.ticks[i - 1]));
      }
    }
  }
  EXPECT_EQ(nice_axis(0, 0.125).label(0.05), "0.05");
  EXPECT_THROW(nice_axis(0, std::nan("")), std::invalid_argument);
}

PlotFigure study_like_figure() {
  PlotFigure f;
  f.title = "sphere, E1/E0 = 10";
  f.columns = 2;
  for (const char* name : {"H11", "H44", "H12"}) {
    PlotPanel p{name, "h = 2/M", name, {}, {}};
    Series levels{{{0.125, -1.565}, {0.1, -1.596}, {0.0833, -1.6197}, {0.0625, -1.63}, {0.05, -1.64}},
                  Series::Style::markers, Rgb{0, 90, 200}, "levels"};
    Series fit{{}, Series::Style::line, Rgb{200, 60, 0}, "fit"};
    for (int i = 0; i <= 20; ++i) fit.points.push_back({0.125 * i / 20, -1.66 + 0.75 * 0.125 * i / 20});
    p.series = {fit, levels};
    p.error_bars = {{0, -1.66, 0.01, Rgb{0, 150, 0}, "extrapolated"}};
    f.panels.push_back(p);
  }
  return f;
}

// Each level's marker covers the pixel the axis mapping gives for it, and
// the extrapolated value's marker sits at h = 0 on the left edge's inside.
TEST(Plot, DataLandWhereTheAxisMappingSays) {
  const PlotFigure f = study_like_figure();
  const std::int32_t width = 900, height = 640;
  const std::vector<PlotFrame> frames = layout_plot(f, width, height);
  const DecodedPng image = decode_png(plot_png(f, width, height));
  ASSERT_EQ(image.status, CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(image.width, width);
  ASSERT_EQ(image.height, height);
  EXPECT_TRUE(image.opaque());
  EXPECT_EQ(image.at(1, height - 2), f.background);
  ASSERT_EQ(frames.size(), 3u);
  // Two columns: the third panel starts a second row below the first.
  EXPECT_EQ(frames[2].left, frames[0].left);
  EXPECT_GT(frames[2].top, frames[0].top + frames[0].height);
  for (std::size_t p = 0; p < frames.size(); ++p) {
    const PlotFrame& frame = frames[p];
    EXPECT_LE(frame.x.lo, 0);
    for (const Point& pt : f.panels[p].series[1].points) {
      const double column = frame.to_column(pt.x), row = frame.to_row(pt.y);
      EXPECT_GT(column, frame.left);
      EXPECT_LT(column, frame.left + frame.width);
      EXPECT_EQ(image.at(static_cast<std::int32_t>(column), static_cast<std::int32_t>(row)), f.panels[p].series[1].colour)
          << f.panels[p].title << " at h = " << pt.x;
    }
    const ErrorBar& bar = f.panels[p].error_bars[0];
    EXPECT_EQ(image.at(static_cast<std::int32_t>(frame.to_column(0)), static_cast<std::int32_t>(frame.to_row(bar.y))), bar.colour);
    // The cap at the top of the bar, one pixel from its end, is drawn.
    const std::int32_t cap_row = static_cast<std::int32_t>(std::lround(frame.to_row(bar.y + bar.half_width)));
    const std::int32_t cap_column = static_cast<std::int32_t>(frame.to_column(0)) + 3;
    EXPECT_FALSE(image.at(cap_column, cap_row) == f.background);
    // Plain background far from the data, in the lower right of the plot area.
    EXPECT_EQ(image.at(static_cast<std::int32_t>(frame.left + frame.width - 3), static_cast<std::int32_t>(frame.top + frame.height - 3)),
              f.background);
  }
}

TEST(Plot, RefusesNonFiniteDataAndTooSmallPictures) {
  PlotFigure f = study_like_figure();
  EXPECT_THROW(plot_png(f, 200, 120), std::invalid_argument);
  f.panels[1].series[1].points[2].y = std::nan("");
  EXPECT_THROW(plot_png(f, 900, 640), std::invalid_argument);
  f = study_like_figure();
  f.panels[0].error_bars[0].half_width = INFINITY;
  EXPECT_THROW(layout_plot(f, 900, 640), std::invalid_argument);
  f.panels.clear();
  EXPECT_THROW(layout_plot(f, 900, 640), std::invalid_argument);
}

}  // namespace
}  // namespace csolver::drawing
