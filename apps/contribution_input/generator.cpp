#include "contribution_input/generator.h"

#include "images/image_volume.h"
#include "contribution_input/preview.h"
#include "contribution_solver/clock.h"
#include "contribution_solver/memory_estimate.h"
#include "files/atomic_file.h"
#include "shapes/shapes.h"

#include <charconv>
#include <cmath>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

namespace csolver::generator {

namespace fs = std::filesystem;

namespace {

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class Kind { number, text, flag };

struct OptionRule {
  const char* name;
  Kind kind;
  int max_count;  // numbers taken after the option
};

// Shape options take up to max_count numbers; the shape decides how many it needs.
constexpr OptionRule OPTIONS[] = {
    {"--radius", Kind::number, 1},      {"--axes", Kind::number, 3},      {"--center", Kind::number, 3},
    {"--angles", Kind::number, 3},      {"--angle", Kind::number, 1},     {"--power", Kind::number, 1},
    {"--half-length", Kind::number, 1}, {"--major", Kind::number, 1},     {"--minor", Kind::number, 1},
    {"--inner", Kind::number, 1},       {"--threshold", Kind::number, 1}, {"--label", Kind::number, 1},
    {"--invert", Kind::flag, 0},        {"--voxel", Kind::number, 3},     {"--fill", Kind::number, 1},
    {"--dims", Kind::number, 3},        {"--type", Kind::text, 1},        {"--header-bytes", Kind::number, 1},
    {"--M", Kind::number, 1},           {"--E0", Kind::number, 1},        {"--n0", Kind::number, 1},
    {"--E1", Kind::number, 1},          {"--n1", Kind::number, 1},        {"--tol", Kind::number, 1},
    {"--text", Kind::text, 1},          {"--crack", Kind::flag, 0},       {"-o", Kind::text, 1},
    {"--preview", Kind::text, 1},
};

// Options every shape accepts.
const std::set<std::string> COMMON = {"--M", "--E0", "--n0", "--E1", "--n1", "--tol", "--text", "--crack", "-o", "--preview"};

const OptionRule* find_option(const std::string& name) {
  for (const OptionRule& rule : OPTIONS)
    if (name == rule.name) return &rule;
  return nullptr;
}

std::optional<double> parse_number(const std::string& token) {
  double value = 0;
  const char* end = token.data() + token.size();
  const auto result = std::from_chars(token.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end || !std::isfinite(value)) return std::nullopt;
  return value;
}

std::string format_number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

struct CommandLine {
  std::string shape;
  std::string file;  // image shapes
  std::map<std::string, std::vector<double>> numbers;
  std::map<std::string, std::string> texts;
  std::set<std::string> flags;
  bool help = false;
};

CommandLine parse(const std::vector<std::string>& args) {
  CommandLine cl;
  std::vector<std::string> positional;
  for (std::size_t a = 0; a < args.size(); ++a) {
    const std::string& token = args[a];
    if (token == "--help" || token == "-h") {
      cl.help = true;
      continue;
    }
    const bool looks_like_option = token.size() > 1 && token[0] == '-' && !parse_number(token);
    if (!looks_like_option) {
      positional.push_back(token);
      continue;
    }
    const OptionRule* rule = find_option(token);
    if (!rule) throw UsageError("unknown option '" + token + "'");
    if (cl.numbers.count(token) || cl.texts.count(token) || cl.flags.count(token))
      throw UsageError("option " + token + " is given twice");
    if (rule->kind == Kind::flag) {
      cl.flags.insert(token);
    } else if (rule->kind == Kind::text) {
      if (a + 1 >= args.size()) throw UsageError("option " + token + " needs a value");
      cl.texts[token] = args[++a];
    } else {
      std::vector<double>& values = cl.numbers[token];
      while (static_cast<int>(values.size()) < rule->max_count && a + 1 < args.size()) {
        const std::optional<double> value = parse_number(args[a + 1]);
        if (!value) break;
        values.push_back(*value);
        ++a;
      }
      if (values.empty())
        throw UsageError("option " + token + " needs a number" +
                         (a + 1 < args.size() ? ", got '" + args[a + 1] + "'" : std::string()));
    }
  }
  if (cl.help) return cl;
  if (positional.empty()) throw UsageError("no shape given");
  cl.shape = positional[0];
  std::size_t used = 1;
  if (cl.shape == "tiff" || cl.shape == "raw") {
    if (positional.size() < 2) throw UsageError("shape " + cl.shape + " needs an image file: contribution_input " + cl.shape + " FILE ...");
    cl.file = positional[1];
    used = 2;
  }
  if (positional.size() > used) throw UsageError("unexpected argument '" + positional[used] + "'");
  return cl;
}

// Reads the shape's options with their defaults and remembers which were
// used, so that an option that does not apply is reported, not ignored.
class ShapeOptions {
 public:
  explicit ShapeOptions(const CommandLine& cl) : cl_(cl) {}

  std::vector<double> numbers(const std::string& name, const std::vector<double>& fallback, std::size_t count) {
    used_.insert(name);
    const auto found = cl_.numbers.find(name);
    if (found == cl_.numbers.end()) return fallback;
    if (found->second.size() != count)
      throw UsageError(name + " takes " + std::to_string(count) + (count == 1 ? " number" : " numbers") + " for shape " +
                       cl_.shape + ", got " + std::to_string(found->second.size()));
    return found->second;
  }
  double number(const std::string& name, double fallback) { return numbers(name, {fallback}, 1)[0]; }
  double positive(const std::string& name, double fallback) {
    const double value = number(name, fallback);
    if (!(value > 0)) throw UsageError(name + " must be positive, got " + format_number(value));
    return value;
  }
  shapes::Point point(const std::string& name, const shapes::Point& fallback) {
    const std::vector<double> v = numbers(name, {fallback[0], fallback[1], fallback[2]}, 3);
    return {v[0], v[1], v[2]};
  }
  shapes::Point positive_point(const std::string& name, const shapes::Point& fallback) {
    const shapes::Point p = point(name, fallback);
    for (double value : p)
      if (!(value > 0)) throw UsageError(name + " must be positive, got " + format_number(value));
    return p;
  }
  bool has(const std::string& name) {
    used_.insert(name);
    return cl_.numbers.count(name) || cl_.texts.count(name) || cl_.flags.count(name);
  }
  std::optional<std::string> text(const std::string& name) {
    used_.insert(name);
    const auto found = cl_.texts.find(name);
    return found == cl_.texts.end() ? std::nullopt : std::optional<std::string>(found->second);
  }

  void reject_unused() const {
    auto check = [this](const std::string& name) {
      if (!used_.count(name) && !COMMON.count(name)) throw UsageError("option " + name + " does not apply to shape " + cl_.shape);
    };
    for (const auto& entry : cl_.numbers) check(entry.first);
    for (const auto& entry : cl_.texts) check(entry.first);
    for (const std::string& name : cl_.flags) check(name);
  }

 private:
  const CommandLine& cl_;
  std::set<std::string> used_;
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

struct Shape {
  bool crack = false;
  NodeTable nodes;
  std::string description;
};

image::Selection selection(ShapeOptions& o) {
  image::Selection s;
  const bool threshold = o.has("--threshold"), label = o.has("--label");
  if (threshold && label) throw UsageError("give either --threshold or --label, not both");
  if (threshold) s = {image::Selection::Kind::threshold, o.number("--threshold", 0), false};
  if (label) s = {image::Selection::Kind::label, o.number("--label", 0), false};
  s.invert = o.has("--invert");
  return s;
}

std::string describe_selection(const image::Selection& s) {
  std::string text = s.kind == image::Selection::Kind::threshold ? "value >= " + format_number(s.value)
                     : s.kind == image::Selection::Kind::label  ? "label " + format_number(s.value)
                                                                 : "nonzero";
  return s.invert ? "not " + text : text;
}

Shape image_shape(const CommandLine& cl, ShapeOptions& o, std::int32_t M, bool crack_wanted) {
  const image::Selection sel = selection(o);
  image::Placement placement;
  placement.fill = o.positive("--fill", 1);
  if (placement.fill > 1) throw UsageError("--fill must be at most 1 (the image would be cut at the grid's faces)");
  const shapes::Point voxel = o.positive_point("--voxel", {1, 1, 1});
  placement.voxel_size = {voxel[0], voxel[1], voxel[2]};
  image::Mask mask;
  if (cl.shape == "tiff") {
    mask = image::read_tiff_stack(cl.file, sel);
  } else {
    const std::vector<double> dims = o.numbers("--dims", {}, 3);
    if (dims.empty()) throw UsageError("shape raw needs --dims NX NY NZ");
    std::array<std::int32_t, 3> n{};
    for (std::size_t a = 0; a < 3; ++a) {
      if (dims[a] < 1 || dims[a] != std::floor(dims[a]) || dims[a] > 1e6) throw UsageError("--dims takes three whole numbers from 1 to 1000000");
      n[a] = static_cast<std::int32_t>(dims[a]);
    }
    const std::optional<std::string> type = o.text("--type");
    if (!type) throw UsageError("shape raw needs --type (u8, u16, u16be, i16 or f32)");
    const double header = o.number("--header-bytes", 0);
    if (header < 0 || header != std::floor(header)) throw UsageError("--header-bytes must be a whole number >= 0");
    mask = image::read_raw_volume(cl.file, n, image::parse_sample_type(*type), static_cast<std::size_t>(header), sel);
  }
  Shape shape;
  shape.crack = mask.nz == 1;
  if (crack_wanted && !shape.crack)
    throw UsageError("--crack needs a single-page image (the crack planform); " + cl.file + " has " + std::to_string(mask.nz) + " pages");
  const std::string dims = std::to_string(mask.nx) + "x" + std::to_string(mask.ny) +
                           (shape.crack ? std::string() : "x" + std::to_string(mask.nz));
  shape.description = fs::path(cl.file).filename().string() + " " + dims + " " + describe_selection(sel);
  shape.nodes = shape.crack ? shapes::crack_node_table(M, image::planform_indicator(mask, placement))
                            : shapes::volume_node_table(M, image::volume_indicator(mask, placement));
  return shape;
}

Shape analytic_shape(const CommandLine& cl, ShapeOptions& o, std::int32_t M) {
  const std::string& name = cl.shape;
  Shape shape;
  const bool planar = name == "penny" || name == "ellipse" || name == "rectangle" || name == "annulus";
  if (planar) {
    shape.crack = true;
    const std::vector<double> c = o.numbers("--center", {0, 0}, 2);
    const std::string at = c[0] != 0 || c[1] != 0 ? " at (" + format_number(c[0]) + ", " + format_number(c[1]) + ")" : "";
    std::function<bool(double, double)> in;
    if (name == "penny") {
      const double r = o.positive("--radius", 0.5);
      in = shapes::inside(shapes::PlanarEllipse{r, r, c[0], c[1], 0});
      shape.description = "penny-shaped crack radius " + format_number(r) + at;
    } else if (name == "annulus") {
      const double outer = o.positive("--radius", 0.5), inner = o.positive("--inner", 0.25);
      if (inner >= outer) throw UsageError("--inner must be smaller than --radius");
      in = shapes::inside(shapes::PlanarAnnulus{outer, inner, c[0], c[1]});
      shape.description = "annular crack radii " + format_number(inner) + " to " + format_number(outer) + at;
    } else {
      const std::vector<double> ab = o.numbers("--axes", {0.5, 0.25}, 2);
      if (!(ab[0] > 0 && ab[1] > 0)) throw UsageError("--axes must be positive");
      const double angle = o.number("--angle", 0);
      const std::string rotated = angle != 0 ? " rotated " + format_number(angle) + " deg" : "";
      if (name == "ellipse") {
        in = shapes::inside(shapes::PlanarEllipse{ab[0], ab[1], c[0], c[1], angle});
        shape.description = "elliptical crack semi-axes " + format_number(ab[0]) + ", " + format_number(ab[1]) + at + rotated;
      } else {
        in = shapes::inside(shapes::PlanarRectangle{ab[0], ab[1], c[0], c[1], angle});
        shape.description = "rectangular crack half-sides " + format_number(ab[0]) + ", " + format_number(ab[1]) + at + rotated;
      }
    }
    shape.nodes = shapes::crack_node_table(M, in);
    return shape;
  }

  const shapes::Point center = o.point("--center", {0, 0, 0});
  shapes::Point angles{0, 0, 0};
  shapes::Indicator in;
  if (name == "sphere") {
    const double r = o.positive("--radius", 0.5);
    in = shapes::inside(shapes::Ellipsoid{{r, r, r}, center, angles});
    shape.description = "sphere radius " + format_number(r);
  } else if (name == "ellipsoid") {
    angles = o.point("--angles", angles);
    const shapes::Point axes = o.positive_point("--axes", {0.5, 0.4, 0.3});
    in = shapes::inside(shapes::Ellipsoid{axes, center, angles});
    shape.description = "ellipsoid semi-axes " + describe_point(axes);
  } else if (name == "spheroid") {
    angles = o.point("--angles", angles);
    const std::vector<double> ac = o.numbers("--axes", {0.5, 0.25}, 2);
    if (!(ac[0] > 0 && ac[1] > 0)) throw UsageError("--axes must be positive");
    in = shapes::inside(shapes::Ellipsoid{{ac[0], ac[0], ac[1]}, center, angles});
    shape.description = std::string(ac[1] < ac[0] ? "oblate" : ac[1] > ac[0] ? "prolate" : "spherical") +
                        " spheroid a = " + format_number(ac[0]) + ", c = " + format_number(ac[1]);
  } else if (name == "cuboid") {
    angles = o.point("--angles", angles);
    const shapes::Point half = o.positive_point("--axes", {0.5, 0.5, 0.5});
    in = shapes::inside(shapes::Cuboid{half, center, angles});
    shape.description = "cuboid half-edges " + describe_point(half);
  } else if (name == "cylinder") {
    angles = o.point("--angles", angles);
    const double r = o.positive("--radius", 0.4), half = o.positive("--half-length", 0.4);
    in = shapes::inside(shapes::Cylinder{r, half, center, angles});
    shape.description = "cylinder radius " + format_number(r) + " half-length " + format_number(half);
  } else if (name == "torus") {
    angles = o.point("--angles", angles);
    const double major = o.positive("--major", 0.5), minor = o.positive("--minor", 0.2);
    in = shapes::inside(shapes::Torus{major, minor, center, angles});
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
    in = shapes::inside(shapes::Supersphere{axes, power, center, angles});
    shape.description = "supersphere p = " + format_number(power) + " semi-axes " + describe_point(axes);
  } else {
    throw UsageError("unknown shape '" + name + "'");
  }
  shape.description += describe_placement(center, angles);
  shape.nodes = shapes::volume_node_table(M, in);
  return shape;
}

struct Materials {
  shapes::Materials values;
  std::int32_t M = 20;
};

Materials materials(ShapeOptions& o) {
  Materials m;
  const double M = o.number("--M", 20);
  if (M != std::floor(M) || M < 2 || M > 2000) throw UsageError("--M must be a whole number from 2 to 2000, got " + format_number(M));
  m.M = static_cast<std::int32_t>(M);
  m.values.E0 = o.positive("--E0", 1);
  m.values.n0 = o.number("--n0", 0.3);
  if (!(m.values.n0 > -1 && m.values.n0 < 0.5)) throw UsageError("--n0 must lie between -1 and 0.5, got " + format_number(m.values.n0));
  m.values.E1 = o.positive("--E1", m.values.E0);  // a crack leaves E1 and n1 unused
  m.values.n1 = o.number("--n1", m.values.n0);
  if (!(m.values.n1 > -1 && m.values.n1 < 0.5)) throw UsageError("--n1 must lie between -1 and 0.5, got " + format_number(m.values.n1));
  m.values.tol = o.positive("--tol", 1e-6);
  return m;
}

std::string mebibytes(std::size_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MiB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  return text;
}

std::size_t count_flagged(const NodeTable& nodes, bool crack) {
  std::size_t count = 0;
  const std::size_t plane = static_cast<std::size_t>(nodes.N) * static_cast<std::size_t>(nodes.N);
  const std::size_t end = crack ? plane : nodes.node_flag.size();
  for (std::size_t n = 0; n < end; ++n) count += nodes.node_flag[n] == 1 ? 1 : 0;
  return count;
}

std::string coordinate_range(std::int32_t offset, std::int32_t extent, double h) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g to %.6g", -1 + offset * h, -1 + (offset + extent - 1) * h);
  return text;
}

fs::path with_parent(const fs::path& file) { return file.has_parent_path() ? file : fs::path(".") / file; }

int generate(const CommandLine& cl, std::FILE* out) {
  ShapeOptions o(cl);
  const bool image = cl.shape == "tiff" || cl.shape == "raw";
  const bool crack_wanted = o.has("--crack");
  const bool planar_shape = cl.shape == "penny" || cl.shape == "ellipse" || cl.shape == "rectangle" || cl.shape == "annulus";
  if (crack_wanted && !planar_shape && !image)
    throw UsageError("--crack needs a planar shape (penny, ellipse, rectangle, annulus) or a single-page image, not " + cl.shape);
  // Every number is checked before a large image is read or a grid is made.
  const Materials m = materials(o);
  // The node table and its text must fit, before either is made.
  require_memory(node_table_bytes(m.M + 1) * 3, "generating input.txt");

  const double t0 = monotonic_seconds();
  const Shape shape = image ? image_shape(cl, o, m.M, crack_wanted) : analytic_shape(cl, o, m.M);
  if (!shape.crack && !cl.numbers.count("--E1"))
    throw UsageError("an inhomogeneity needs --E1, its Young's modulus (for example --E1 10 for a stiff one, --E1 0.01 for a soft one)");
  o.reject_unused();
  const std::optional<std::string> text_option = o.text("--text");
  std::string text = text_option ? *text_option : shape.description + (shape.crack ? "" : ", E1/E0 = " + format_number(m.values.E1 / m.values.E0)) +
                                                      ", M = " + std::to_string(m.M);
  if (text.find_first_of("\r\n") != std::string::npos) throw UsageError("--text must be one line");
  if (text.size() > FUNCTION_TEXT_LENGTH) {
    std::fprintf(out, " note: the text is cut to its first %zu characters, as the program reads it\n", FUNCTION_TEXT_LENGTH);
    text.resize(FUNCTION_TEXT_LENGTH);
  }

  const double h = grid_step(m.M);
  const std::size_t flagged = count_flagged(shape.nodes, shape.crack);
  if (flagged == 0)
    throw UsageError("no grid node lies inside the shape at M = " + std::to_string(m.M) +
                     " (h = " + format_number(h) + "); make the shape larger or M larger");
  const BoxBounds bounds = shape.crack ? crack_bounds(shape.nodes, h) : inhomogeneity_bounds(shape.nodes, h);
  const double t_shape = monotonic_seconds();

  const std::string content = shapes::input_text(shape.nodes, m.values, shape.crack, text);
  const fs::path dir = cl.texts.count("-o") ? fs::path(cl.texts.at("-o")) : fs::path(".");
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) throw OutputError("cannot create the directory " + dir.string() + ": " + error.message());
  const fs::path target = dir / "input.txt";
  write_file_atomically(target, content);
  const double t_written = monotonic_seconds();

  const std::size_t records = shape.nodes.node_flag.size();
  const double write_seconds = t_written - t_shape;
  std::fprintf(out, " wrote %s: %zu node records, %s, in %.3f s (%.3g records/s; shape %.3f s)\n", target.string().c_str(),
               records, mebibytes(content.size()).c_str(), write_seconds,
               write_seconds > 0 ? static_cast<double>(records) / write_seconds : 0.0, t_shape - t0);
  std::fprintf(out, " text: %s\n", text.c_str());
  std::fprintf(out, " grid: M = %d, N = %d nodes per axis, h = %s\n", m.M, m.M + 1, format_number(h).c_str());
  if (shape.crack) {
    std::fprintf(out, " flagged nodes: %zu (crack plane k = 1)\n", flagged);
    std::fprintf(out, " box: offset (%d, %d) extent %d x %d; x %s, y %s\n", bounds.ix0, bounds.iy0, bounds.nx, bounds.ny,
                 coordinate_range(bounds.ix0, bounds.nx, h).c_str(), coordinate_range(bounds.iy0, bounds.ny, h).c_str());
    std::fprintf(out, " formulation: none (crack, problem_type 0)\n");
  } else {
    std::fprintf(out, " flagged nodes: %zu\n", flagged);
    std::fprintf(out, " box: offset (%d, %d, %d) extent %d x %d x %d; x %s, y %s, z %s\n", bounds.ix0, bounds.iy0,
                 bounds.iz0, bounds.nx, bounds.ny, bounds.nz, coordinate_range(bounds.ix0, bounds.nx, h).c_str(),
                 coordinate_range(bounds.iy0, bounds.ny, h).c_str(), coordinate_range(bounds.iz0, bounds.nz, h).c_str());
    const bool stiffness = choose_formulation(m.values.E1, m.values.E0) == Formulation::stiffness;
    std::fprintf(out, " formulation: %s (E1/E0 = %s)\n", stiffness ? "stiffness" : "compliance",
                 format_number(m.values.E1 / m.values.E0).c_str());
  }
  const std::size_t table = node_table_bytes(m.M + 1);
  const std::size_t solver = shape.crack ? crack_solver_bytes(bounds) : inhomogeneity_solver_bytes(bounds);
  std::fprintf(out, " estimated memory: %s for the node table while reading, %s for the solver (released one before the other)\n",
               mebibytes(table).c_str(), mebibytes(solver).c_str());
  if (std::max(table, solver) > physical_memory_bytes())
    std::fprintf(out, " warning: this machine has %s; the program will refuse this run\n", mebibytes(physical_memory_bytes()).c_str());

  if (const std::optional<std::string> png = o.text("--preview")) {
    const drawing::RasterFigure picture = shape.crack ? preview::crack_plane(shape.nodes) : preview::volume_slices(shape.nodes);
    const fs::path png_path = with_parent(*png);
    fs::create_directories(png_path.parent_path(), error);
    if (error) throw OutputError("cannot create the directory " + png_path.parent_path().string() + ": " + error.message());
    write_file_atomically(png_path, drawing::rasters_png(picture));
    std::fprintf(out, " preview: %s (%s)\n", png->c_str(),
                 shape.crack ? "crack plane k = 1, y up" : "mid-slices xy | xz | yz, second axis up");
  }
  return 0;
}

}  // namespace

std::string help_text() {
  return R"(Usage: contribution_input SHAPE [shape options] [--M M] [--E0 E] [--n0 N] [--E1 E] [--n1 N]
                          [--tol T] [--text TEXT] [--crack] [-o DIR] [--preview FILE.png]

Writes DIR/input.txt for contribution_solver: the grid of (M+1)^3 nodes over [-1, 1]^3
with flag 1 inside the shape. Lengths are in grid units (the cube has side 2).

Inhomogeneities (volume shapes); all take --center X Y Z (default 0 0 0), and all but
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

Problem:
  --M M        intervals per axis (default 20); N = M + 1 nodes per axis
  --E0 E --n0 N   matrix material (default 1, 0.3)
  --E1 E --n1 N   inhomogeneity material; --E1 is required for an inhomogeneity,
                  --n1 defaults to n0; a crack writes E1 = E0, n1 = n0 unless given
  --tol T      convergence tolerance (default 1e-6)
  --text TEXT  the free text (default: a description of the shape), at most 100 characters
  --crack      problem_type 0; implied by planar shapes and single-page images
  -o DIR       where input.txt goes (default: the current directory; created if missing)
  --preview FILE.png   picture of the flags: mid-slices xy | xz | yz, or the crack plane

It prints the node count, h, the number of flagged nodes, the bounding box, the
formulation and the estimated memory. input.txt is written under a temporary name and
renamed when complete, so a failure leaves no partial file. Exit status: 0 written,
2 bad command line or unusable image, 1 the file could not be written.

Example: contribution_input sphere --radius 0.5 --M 40 --E1 10 -o case1
)";
}

int run_generator(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  try {
    const CommandLine cl = parse(args);
    if (cl.help) {
      std::fputs(help_text().c_str(), out);
      return 0;
    }
    return generate(cl, out);
  } catch (const UsageError& e) {
    std::fprintf(err, "contribution_input: %s\nTry 'contribution_input --help'.\n", e.what());
    return 2;
  } catch (const image::ImageError& e) {
    std::fprintf(err, "contribution_input: %s\n", e.what());
    return 2;
  } catch (const ResourceError& e) {
    std::fprintf(err, "contribution_input: %s\n", e.what());
    return 2;
  } catch (const std::exception& e) {
    std::fprintf(err, "contribution_input: %s\n", e.what());
    return 1;
  }
}

}  // namespace csolver::generator
