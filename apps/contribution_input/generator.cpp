#include "contribution_input/generator.h"

#include "api/memory_estimate.h"
#include "cli/exit_status.h"
#include "cli/material_options.h"
#include "cli/output_folder.h"
#include "cli/shape_options.h"
#include "cli/version.h"
#include "contribution/errors.h"
#include "contribution_input/preview.h"
#include "contribution_solver/clock.h"
#include "contribution_solver/memory_estimate.h"
#include "files/atomic_file.h"
#include "shapes/shapes.h"
#include "system/memory.h"

#include <filesystem>
#include <iterator>
#include <optional>
#include <set>

namespace csolver::generator {

namespace fs = std::filesystem;

namespace {

using cli::format_number;
using cli::UsageError;

constexpr cli::OptionRule GENERATOR_RULES[] = {
    {"--M", cli::Kind::number, 1}, {"--text", cli::Kind::text, 1},    {"--crack", cli::Kind::flag, 0},
    {"-o", cli::Kind::text, 1},    {"--preview", cli::Kind::text, 1}, {"--overwrite", cli::Kind::flag, 0},
};

// Options every shape accepts.
const std::set<std::string> COMMON = {"--M", "--E0", "--n0", "--E1", "--n1", "--tol", "--text", "--crack", "-o", "--preview",
                                      "--overwrite"};

cli::CommandLine parse(const std::vector<std::string>& args) {
  std::vector<cli::OptionRule> rules(std::begin(GENERATOR_RULES), std::end(GENERATOR_RULES));
  for (auto table : {cli::shape_option_rules(), cli::image_option_rules(), cli::material_option_rules()})
    rules.insert(rules.end(), table.begin(), table.end());
  return cli::parse_command_line(args, rules);
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

int generate(const cli::CommandLine& cl, std::FILE* out) {
  const std::string subject = cl.positional.empty() ? "this shape" : "shape " + cl.positional[0];
  cli::Options o(cl, subject);
  const bool crack_wanted = o.has("--crack");
  // Every number is checked before a large image is read or a grid is made.
  const std::int32_t M = static_cast<std::int32_t>(o.whole("--M", 20, 2, 2000));
  const cli::MaterialOptions m = cli::read_materials(o);
  // The node table and its text must fit, before either is made.
  require_physical_memory(node_table_bytes(M + 1, M + 1) * 3, "generating input.txt");

  const fs::path dir = cl.texts.count("-o") ? fs::path(cl.texts.at("-o")) : fs::path(".");
  cli::refuse_earlier_outputs(dir, {"input.txt"}, o.has("--overwrite"), "problem");

  const double t0 = monotonic_seconds();
  const cli::ShapeSpec shape = cli::read_shape(cl, o, crack_wanted);
  if (!shape.crack) cli::require_inhomogeneity_modulus(m);
  o.reject_unused(COMMON);
  const NodeTable nodes = cli::shape_node_table(shape, M);
  const std::optional<std::string> text_option = o.text("--text");
  std::string text = text_option ? *text_option : shape.description + (shape.crack ? "" : ", E1/E0 = " + format_number(m.E1 / m.E0)) +
                                                      ", M = " + std::to_string(M);
  if (text.find_first_of("\r\n") != std::string::npos) throw UsageError("--text must be one line");
  if (text.size() > FUNCTION_TEXT_LENGTH) {
    std::fprintf(out, " note: the text is cut to its first %zu characters, as the program reads it\n", FUNCTION_TEXT_LENGTH);
    text.resize(FUNCTION_TEXT_LENGTH);
  }

  const double h = grid_step(M);
  const std::size_t flagged = count_flagged(nodes, shape.crack);
  if (flagged == 0)
    throw UsageError("no grid node lies inside the shape at M = " + std::to_string(M) +
                     " (h = " + format_number(h) + "); make the shape larger or M larger");
  const BoxBounds bounds = shape.crack ? crack_bounds(nodes, h) : inhomogeneity_bounds(nodes, h);
  const double t_shape = monotonic_seconds();

  const std::string content = shapes::input_text(nodes, {m.E0, m.n0, m.E1, m.n1, m.tol}, shape.crack, text);
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) throw OutputError("cannot create the directory " + dir.string() + ": " + error.message());
  const fs::path target = dir / "input.txt";
  write_file_atomically(target, content);
  const double t_written = monotonic_seconds();

  const std::size_t records = nodes.node_flag.size();
  const double write_seconds = t_written - t_shape;
  std::fprintf(out, " wrote %s: %zu node records, %s, in %.3f s (%.3g records/s; shape %.3f s)\n", target.string().c_str(),
               records, mebibytes(content.size()).c_str(), write_seconds,
               write_seconds > 0 ? static_cast<double>(records) / write_seconds : 0.0, t_shape - t0);
  std::fprintf(out, " text: %s\n", text.c_str());
  std::fprintf(out, " grid: M = %d, N = %d nodes per axis, h = %s\n", M, M + 1, format_number(h).c_str());
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
    const bool stiffness = choose_formulation(m.E1, m.E0) == Formulation::stiffness;
    std::fprintf(out, " formulation: %s (E1/E0 = %s)\n", stiffness ? "stiffness" : "compliance",
                 format_number(m.E1 / m.E0).c_str());
  }
  // The program keeps only the crack plane of a crack input.
  const std::size_t table = node_table_bytes(M + 1, shape.crack ? 1 : M + 1);
  const std::size_t solver = shape.crack ? crack_solver_bytes(bounds) : inhomogeneity_solver_bytes(bounds);
  std::fprintf(out, " estimated memory: %s for the node table while reading, %s for the solver (released one before the other)\n",
               mebibytes(table).c_str(), mebibytes(solver).c_str());
  if (std::max(table, solver) > physical_memory_bytes())
    std::fprintf(out, " warning: this machine has %s; the program will refuse this run\n", mebibytes(physical_memory_bytes()).c_str());

  if (const std::optional<std::string> png = o.text("--preview")) {
    const drawing::RasterFigure picture = shape.crack ? preview::crack_plane(nodes) : preview::volume_slices(nodes);
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
  return std::string(R"(Usage: contribution_input SHAPE [shape options] [--M M] [--E0 E] [--n0 N] [--E1 E] [--n1 N]
                          [--tol T] [--text TEXT] [--crack] [-o DIR] [--overwrite] [--preview FILE.png]

Writes DIR/input.txt for contribution_solver: the grid of (M+1)^3 nodes over [-1, 1]^3
with flag 1 inside the shape. Lengths are in grid units (the cube has side 2).

)") + cli::shape_help() + R"(
Problem:
  --M M        intervals per axis (default 20); N = M + 1 nodes per axis
  --E0 E --n0 N   matrix material (default 1, 0.3)
  --E1 E --n1 N   inhomogeneity material; --E1 is required for an inhomogeneity,
                  --n1 defaults to n0; a crack writes E1 = E0, n1 = n0 unless given
  --tol T      convergence tolerance (default 1e-6)
  --text TEXT  the free text (default: a description of the shape), at most 100 characters
  --crack      problem_type 0; implied by planar shapes and single-page images
  -o DIR       where input.txt goes (default: the current directory; created if missing)
  --overwrite  replace an input.txt already in DIR (refused otherwise)
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
    const cli::CommandLine cl = parse(args);
    if (cl.help) {
      std::fputs(help_text().c_str(), out);
      return 0;
    }
    if (cl.version) {
      std::fputs(cli::version_text("contribution_input").c_str(), out);
      return 0;
    }
    return generate(cl, out);
  } catch (const contribution::ResourceError& e) {
    // A grid too large for this machine is a choice of the command line.
    std::fprintf(err, "contribution_input: %s\n", e.what());
    return 2;
  } catch (...) {
    return cli::report_failure("contribution_input", err);
  }
}

}  // namespace csolver::generator
