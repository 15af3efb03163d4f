#include "cli/shape_options.h"

#include <cmath>
#include <filesystem>
#include <optional>

namespace csolver::cli {

namespace fs = std::filesystem;

namespace {

// Shape options take up to max_count numbers; the shape decides how many it needs.
constexpr OptionRule SHAPE_RULES[] = {
    {"--radius", Kind::number, 1},      {"--axes", Kind::number, 3},  {"--center", Kind::number, 3},
    {"--angles", Kind::number, 3},      {"--angle", Kind::number, 1}, {"--power", Kind::number, 1},
    {"--half-length", Kind::number, 1}, {"--major", Kind::number, 1}, {"--minor", Kind::number, 1},
    {"--inner", Kind::number, 1},       {"--fill", Kind::number, 1},
};

constexpr OptionRule IMAGE_RULES[] = {
    {"--threshold", Kind::number, 1}, {"--label", Kind::number, 1}, {"--invert", Kind::flag, 0},
    {"--voxel", Kind::number, 3},     {"--dims", Kind::number, 3},  {"--type", Kind::text, 1},
    {"--header-bytes", Kind::number, 1},
};

std::string describe_point(const shapes::Point& p) {
  std::string text = "(";
  for (std::size_t a = 0; a < 3; ++a) {
    text += format_number(p[a]);
    text += a < 2 ? ", " : ")";
  }
  return text;
}

// Placement words for the description, only where they differ from the default.
std::string describe_placement(const shapes::Point& center, const shapes::Point& angles) {
  std::string text;
  if (center != shapes::Point{0, 0, 0}) text += " at " + describe_point(center);
  if (angles != shapes::Point{0, 0, 0}) text += " rotated " + describe_point(angles) + " deg";
  return text;
}

image::Selection read_selection(Options& o) {
  image::Selection s;
  const bool threshold = o.has("--threshold"), label = o.has("--label");
  if (threshold && label) throw UsageError("give either --threshold or --label, not both");
  if (threshold) s = {image::Selection::Kind::threshold, o.number("--threshold", 0), false};
  if (label) s = {image::Selection::Kind::label, o.number("--label", 0), false};
  s.invert = o.has("--invert");
  return s;
}

ShapeSpec image_shape(const std::string& kind, const std::string& file, Options& o, bool crack_wanted) {
  image::Placement placement;
  placement.fill = o.positive("--fill", 1);
  if (placement.fill > 1) throw UsageError("--fill must be at most 1 (the image would be cut at the grid's faces)");
  placement.voxel_size = read_voxel_size(o);
  const auto owned = std::make_shared<const image::Mask>(read_image(kind, file, o));
  const image::Mask& mask = *owned;
  ShapeSpec shape;
  shape.name = kind;
  shape.mask = owned;
  shape.crack = mask.nz == 1;
  if (crack_wanted && !shape.crack)
    throw UsageError("--crack needs a single-page image (the crack planform); " + file + " has " +
                     std::to_string(mask.nz) + " pages");
  std::string dims = std::to_string(mask.nx) + "x" + std::to_string(mask.ny);
  if (!shape.crack) {
    dims += 'x';
    dims += std::to_string(mask.nz);
  }
  shape.description = fs::path(file).filename().string() + " " + dims + " " + describe_selection(o);
  if (shape.crack)
    shape.plane = image::planform_indicator(mask, placement);
  else
    shape.volume = image::volume_indicator(mask, placement);
  return shape;
}

ShapeSpec planar_shape(const std::string& name, Options& o) {
  ShapeSpec shape;
  shape.name = name;
  shape.crack = true;
  const std::vector<double> c = o.numbers("--center", {0, 0}, 2);
  const std::string at = c[0] != 0 || c[1] != 0 ? " at (" + format_number(c[0]) + ", " + format_number(c[1]) + ")" : "";
  if (name == "penny") {
    const double r = o.positive("--radius", 0.5);
    shape.plane = shapes::inside(shapes::PlanarEllipse{r, r, c[0], c[1], 0});
    shape.description = "penny-shaped crack radius " + format_number(r) + at;
  } else if (name == "annulus") {
    const double outer = o.positive("--radius", 0.5), inner = o.positive("--inner", 0.25);
    if (inner >= outer) throw UsageError("--inner must be smaller than --radius");
    shape.plane = shapes::inside(shapes::PlanarAnnulus{outer, inner, c[0], c[1]});
    shape.description = "annular crack radii " + format_number(inner) + " to " + format_number(outer) + at;
  } else {
    const std::vector<double> ab = o.numbers("--axes", {0.5, 0.25}, 2);
    if (!(ab[0] > 0 && ab[1] > 0)) throw UsageError("--axes must be positive");
    const double angle = o.number("--angle", 0);
    const std::string rotated = angle != 0 ? " rotated " + format_number(angle) + " deg" : "";
    if (name == "ellipse") {
      shape.plane = shapes::inside(shapes::PlanarEllipse{ab[0], ab[1], c[0], c[1], angle});
      shape.description = "elliptical crack semi-axes " + format_number(ab[0]) + ", " + format_number(ab[1]) + at + rotated;
    } else {
      shape.plane = shapes::inside(shapes::PlanarRectangle{ab[0], ab[1], c[0], c[1], angle});
      shape.description = "rectangular crack half-sides " + format_number(ab[0]) + ", " + format_number(ab[1]) + at + rotated;
    }
  }
  return shape;
}

ShapeSpec volume_shape(const std::string& name, Options& o) {
  ShapeSpec shape;
  shape.name = name;
  const shapes::Point center = o.point("--center", {0, 0, 0});
  shapes::Point angles{0, 0, 0};
  if (name == "sphere") {
    const double r = o.positive("--radius", 0.5);
    shape.volume = shapes::inside(shapes::Ellipsoid{{r, r, r}, center, angles});
    shape.description = "sphere radius " + format_number(r);
  } else if (name == "ellipsoid") {
    angles = o.point("--angles", angles);
    const shapes::Point axes = o.positive_point("--axes", {0.5, 0.4, 0.3});
    shape.volume = shapes::inside(shapes::Ellipsoid{axes, center, angles});
    shape.description = "ellipsoid semi-axes " + describe_point(axes);
  } else if (name == "spheroid") {
    angles = o.point("--angles", angles);
    const std::vector<double> ac = o.numbers("--axes", {0.5, 0.25}, 2);
    if (!(ac[0] > 0 && ac[1] > 0)) throw UsageError("--axes must be positive");
    shape.volume = shapes::inside(shapes::Ellipsoid{{ac[0], ac[0], ac[1]}, center, angles});
    shape.description = std::string(ac[1] < ac[0] ? "oblate" : ac[1] > ac[0] ? "prolate" : "spherical") +
                        " spheroid a = " + format_number(ac[0]) + ", c = " + format_number(ac[1]);
  } else if (name == "cuboid") {
    angles = o.point("--angles", angles);
    const shapes::Point half = o.positive_point("--axes", {0.5, 0.5, 0.5});
    shape.volume = shapes::inside(shapes::Cuboid{half, center, angles});
    shape.description = "cuboid half-edges " + describe_point(half);
  } else if (name == "cylinder") {
    angles = o.point("--angles", angles);
    const double r = o.positive("--radius", 0.4), half = o.positive("--half-length", 0.4);
    shape.volume = shapes::inside(shapes::Cylinder{r, half, center, angles});
    shape.description = "cylinder radius " + format_number(r) + " half-length " + format_number(half);
  } else if (name == "torus") {
    angles = o.point("--angles", angles);
    const double major = o.positive("--major", 0.5), minor = o.positive("--minor", 0.2);
    shape.volume = shapes::inside(shapes::Torus{major, minor, center, angles});
    shape.description = "torus radii " + format_number(major) + ", " + format_number(minor);
  } else if (name == "supersphere") {
    angles = o.point("--angles", angles);
    const double power = o.positive("--power", 2);
    shapes::Point axes{0.5, 0.5, 0.5};
    if (o.has("--radius") && o.has("--axes")) throw UsageError("give either --radius or --axes for supersphere, not both");
    if (o.has("--radius")) {
      const double r = o.positive("--radius", 0.5);
      axes = {r, r, r};
    } else {
      axes = o.positive_point("--axes", axes);
    }
    shape.volume = shapes::inside(shapes::Supersphere{axes, power, center, angles});
    shape.description = "supersphere p = " + format_number(power) + " semi-axes " + describe_point(axes);
  } else {
    throw UsageError("unknown shape '" + name + "'");
  }
  shape.description += describe_placement(center, angles);
  return shape;
}

}  // namespace

std::span<const OptionRule> shape_option_rules() { return SHAPE_RULES; }
std::span<const OptionRule> image_option_rules() { return IMAGE_RULES; }

bool is_image_kind(const std::string& name) { return name == "tiff" || name == "raw"; }

bool is_planar_shape(const std::string& name) {
  return name == "penny" || name == "ellipse" || name == "rectangle" || name == "annulus";
}

std::array<double, 3> read_voxel_size(Options& o) { return o.positive_point("--voxel", {1, 1, 1}); }

std::string describe_selection(Options& o) {
  const image::Selection s = read_selection(o);
  std::string text = s.kind == image::Selection::Kind::threshold ? "value >= " + format_number(s.value)
                     : s.kind == image::Selection::Kind::label  ? "label " + format_number(s.value)
                                                                 : "nonzero";
  return s.invert ? "not " + text : text;
}

image::Mask read_image(const std::string& kind, const std::string& file, Options& o) {
  const image::Selection selection = read_selection(o);
  if (kind == "tiff") return image::read_tiff_stack(file, selection);
  const std::vector<double> dims = o.numbers("--dims", {}, 3);
  if (dims.empty()) throw UsageError("a raw volume needs --dims NX NY NZ");
  std::array<std::int32_t, 3> n{};
  for (std::size_t a = 0; a < 3; ++a) {
    if (dims[a] < 1 || dims[a] != std::floor(dims[a]) || dims[a] > 1e6)
      throw UsageError("--dims takes three whole numbers from 1 to 1000000");
    n[a] = static_cast<std::int32_t>(dims[a]);
  }
  const std::optional<std::string> type = o.text("--type");
  if (!type) throw UsageError("a raw volume needs --type (u8, u16, u16be, i16 or f32)");
  const double header = o.number("--header-bytes", 0);
  if (header < 0 || header != std::floor(header)) throw UsageError("--header-bytes must be a whole number >= 0");
  return image::read_raw_volume(file, n, image::parse_sample_type(*type), static_cast<std::size_t>(header), selection);
}

ShapeSpec read_shape(const CommandLine& cl, Options& o, bool crack_wanted) {
  if (cl.positional.empty()) throw UsageError("no shape given");
  const std::string& name = cl.positional[0];
  std::size_t used = 1;
  if (is_image_kind(name)) {
    if (cl.positional.size() < 2) throw UsageError("shape " + name + " needs an image file: " + name + " FILE ...");
    used = 2;
  }
  if (cl.positional.size() > used) throw UsageError("unexpected argument '" + cl.positional[used] + "'");
  if (crack_wanted && !is_planar_shape(name) && !is_image_kind(name))
    throw UsageError("--crack needs a planar shape (penny, ellipse, rectangle, annulus) or a single-page image, not " +
                     name);
  if (is_image_kind(name)) return image_shape(name, cl.positional[1], o, crack_wanted);
  if (is_planar_shape(name)) return planar_shape(name, o);
  return volume_shape(name, o);
}

std::vector<std::int32_t> shape_flags(const ShapeSpec& shape, std::int32_t M) {
  return shape.crack ? shapes::crack_flags(M, shape.plane) : shapes::volume_flags(M, shape.volume);
}

NodeTable shape_node_table(const ShapeSpec& shape, std::int32_t M) {
  return shape.crack ? shapes::crack_node_table(M, shape.plane) : shapes::volume_node_table(M, shape.volume);
}

std::string shape_help() {
  return R"(Inhomogeneities (volume shapes); all take --center X Y Z (default 0 0 0), and all but
sphere take --angles AX AY AZ (degrees, rotation about x, then y, then z):
  sphere       --radius R                    (default 0.5)
  ellipsoid    --axes A B C                  semi-axes (default 0.5 0.4 0.3)
  spheroid     --axes A C                    A equatorial, C along the body z axis
                                             (default 0.5 0.25, oblate)
  cuboid       --axes A B C                  half-edges (default 0.5 0.5 0.5)
  cylinder     --radius R --half-length L    axis along body z (default 0.4 0.4)
  torus        --major R --minor r           axis along body z (default 0.5 0.2)
  supersphere  --power P  --axes A B C | --radius R
               |x/A|^(2P) + |y/B|^(2P) + |z/C|^(2P) <= 1 (default P = 2, 0.5 0.5 0.5)

Planar cracks in the plane k = 1 (z = -1); all take --center X Y (default 0 0):
  penny        --radius R                    (default 0.5)
  ellipse      --axes A B --angle DEG        semi-axes, A along x before rotation
                                             (default 0.5 0.25, 0)
  rectangle    --axes A B --angle DEG        half-sides (default 0.5 0.25, 0)
  annulus      --radius R --inner r          (default 0.5 0.25)

Images (column -> x, row -> y, page or slice -> z; a single page is a crack planform):
  tiff FILE    multi-page greyscale TIFF, 8 or 16 bits per sample, one page per z slice
  raw FILE     headerless volume: --dims NX NY NZ --type u8|u16|u16be|i16|f32
               [--header-bytes B] (x fastest, little-endian unless u16be)
  Inside: --threshold T (value >= T) or --label L (value == L); default any nonzero
  value; --invert takes the complement. --voxel SX SY SZ (voxel spacing, default 1 1 1)
  and --fill F (fraction of the cube's side the longest image extent spans, default 1):
  the image is centred with its aspect kept and sampled at the nearest voxel.
)";
}

}  // namespace csolver::cli
