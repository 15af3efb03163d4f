#include "contribution_study/study_program.h"

#include "cli/contrast_options.h"
#include "cli/exit_status.h"
#include "cli/material_options.h"
#include "cli/output_folder.h"
#include "cli/precision_setting.h"
#include "cli/shape_options.h"
#include "cli/version.h"
#include "contribution/study.h"
#include "contribution_study/conduction_study.h"
#include "contribution_study/default_levels.h"
#include "contribution_study/field_files.h"
#include "contribution_study/study_files.h"
#include "files/atomic_file.h"
#include "images/image_volume.h"
#include "shapes/shapes.h"
#include "system/memory.h"

#include <array>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <set>

namespace csolver::study_tool {

namespace fs = std::filesystem;

namespace {

using cli::UsageError;

constexpr cli::OptionRule STUDY_RULES[] = {
    {"--M", cli::Kind::text, 1},      {"--kernel", cli::Kind::text, 1}, {"--threads", cli::Kind::number, 1},
    {"--text", cli::Kind::text, 1},   {"-o", cli::Kind::text, 1},       {"--crack", cli::Kind::flag, 0},
    {"--shifts", cli::Kind::number, 1}, {"--seed", cli::Kind::number, 1},  {"--overwrite", cli::Kind::flag, 0},
    {"--physics", cli::Kind::text, 1}, {"--k0", cli::Kind::number, 1},  {"--k1", cli::Kind::text, 1},
    {"--fields", cli::Kind::flag, 0},
};
const std::set<std::string> COMMON = {"--M",  "--kernel", "--threads", "--text", "-o",  "--crack",       "--E0",
                                      "--n0", "--E1",     "--n1",      "--tol",  "--formulation", "--mean-field", "--shifts",
                                      "--seed", "--overwrite", "--physics", "--fields"};

// Solves per level of an analytic crack unless --shifts says otherwise.
constexpr int DEFAULT_CRACK_SHIFTS = 3;

// Set by the first SIGINT or SIGTERM; the next iteration of the solve sees it
// and stops. A second signal ends the program at once (its files are
// written atomically, so none is left half-written).
volatile std::sig_atomic_t stop_requested = 0;

extern "C" void on_stop_signal(int signal_number) {
  stop_requested = signal_number;
  std::signal(signal_number, SIG_DFL);
}

// "24,32,48" (blanks allowed after commas) into increasing whole levels.
std::vector<std::int32_t> parse_levels(const std::string& text) {
  std::vector<std::int32_t> levels;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    std::size_t comma = text.find(',', pos);
    if (comma == std::string::npos) comma = text.size();
    std::string item = text.substr(pos, comma - pos);
    item.erase(0, item.find_first_not_of(' '));
    item.erase(item.find_last_not_of(' ') + 1);
    // Read as every other tool reads a whole number (8, 8.0 and 8e0 alike).
    const std::optional<double> number = cli::parse_number(item);
    if (!number || *number != std::floor(*number) || std::abs(*number) > 1e9)
      throw UsageError("--M takes a comma-separated list of whole numbers of intervals, e.g. --M 32,48,64,96,128; got '" +
                       text + "'");
    levels.push_back(static_cast<std::int32_t>(*number));
    pos = comma + 1;
  }
  try {
    contribution::check_study_levels(levels);
  } catch (const contribution::InvalidProblem& e) {
    throw UsageError(std::string("--M: ") + e.what());
  }
  for (std::int32_t M : levels)
    if (M > 2000) throw UsageError("--M: found the level M = " + std::to_string(M) + ", expected M <= 2000");
  return levels;
}

// A sub-step offset of the shape in [-h/2, h/2) per axis, the same for the
// same seed, level and solve whatever else runs (splitmix64 of the three).
std::array<double, 3> shift_offset(std::uint64_t seed, std::int32_t M, int s) {
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + static_cast<std::uint64_t>(M) * 0xBF58476D1CE4E5B9ULL +
                        static_cast<std::uint64_t>(s) * 0x94D049BB133111EBULL;
  std::array<double, 3> offset{};
  const double h = contribution::grid_step(M);
  for (double& o : offset) {
    state += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z ^= z >> 31;
    o = (static_cast<double>(z >> 11) * 0x1.0p-53 - 0.5) * h;
  }
  return offset;
}

// The shape's flags on the grid of M, moved by the offset of solve s
// (none with a single solve).
std::vector<std::int32_t> shifted_flags(const cli::ShapeSpec& shape, std::int32_t M, int shifts, std::uint64_t seed,
                                        int s) {
  if (shifts == 1) return cli::shape_flags(shape, M);
  const std::array<double, 3> d = shift_offset(seed, M, s);
  if (shape.crack)
    return shapes::crack_flags(M, [&](double x, double y) { return shape.plane(x - d[0], y - d[1]); });
  return shapes::volume_flags(M, [&](const shapes::Point& p) { return shape.volume({p[0] - d[0], p[1] - d[1], p[2] - d[2]}); });
}

contribution::PlanarKernel parse_kernel(const std::optional<std::string>& text) {
  if (!text || *text == "exact") return contribution::PlanarKernel::exact;
  if (*text == "specified") return contribution::PlanarKernel::specified;
  throw UsageError("--kernel takes 'exact' or 'specified', got '" + *text + "'");
}

// The levels so far go to `partial` (study.json in a new folder; beside an
// earlier study's files, a file of its own, so that they survive until this
// study is complete).
void write_files(const fs::path& dir, const fs::path& partial, const StudyDescription& d, const contribution::Study& study,
                 bool complete) {
  if (!complete) {
    write_file_atomically(dir / partial, study_json(d, study, false));
    return;
  }
  write_file_atomically(dir / "study.txt", study_text(d, study));
  write_file_atomically(dir / "study.png", study_png(d, study));
  write_file_atomically(dir / "study.json", study_json(d, study, true));
  if (partial != "study.json") fs::remove(dir / partial);
}

// One line per load case as it finishes; a level can take minutes.
contribution::ProgressCallback progress_lines(std::FILE* out) {
  return [out](const contribution::ProgressEvent& event) {
    if (event.kind == contribution::ProgressEvent::Kind::load_case_finished) {
      std::fprintf(out, "   load case %d: %d iterations%s\n", event.load_case, event.status->iterations,
                   event.status->converged ? "" : " (not converged)");
      std::fflush(out);
    }
    return stop_requested == 0;
  };
}

int study(const cli::CommandLine& cl, std::FILE* out) {
  const std::string subject = cl.positional.empty() ? "this shape" : "shape " + cl.positional[0];
  cli::Options o(cl, subject);
  const std::string physics = o.text("--physics").value_or("elasticity");
  if (physics == "conductivity" || physics == "both")
    return conduction_study(cl, o, out, {progress_lines(out), on_stop_signal, &stop_requested, parse_levels});
  if (physics != "elasticity")
    throw UsageError("--physics takes 'elasticity' (the default), 'conductivity' or 'both' (cracks), got '" + physics + "'");
  const std::optional<std::string> levels_text = o.text("--M");
  const cli::MaterialOptions m = cli::read_materials(o, true);
  const cli::ContrastOptions contrast = cli::read_contrast(o);
  const contribution::PlanarKernel kernel = parse_kernel(o.text("--kernel"));
  const int threads = static_cast<int>(o.whole("--threads", 0, 0, 1024));
  const bool crack_wanted = o.has("--crack");
  const bool fields = o.has("--fields");
  const cli::ShapeSpec shape = cli::read_shape(cl, o, crack_wanted);
  // An analytic crack's staircase scatter dominates its bar; three shifted
  // solves per level cut the bar by a factor of two to four for about 1.5 to
  // 2 times the time (docs/study.md), so they are its default.
  const int shifts = static_cast<int>(o.whole("--shifts", shape.crack && !shape.mask ? DEFAULT_CRACK_SHIFTS : 1, 1, 64));
  const auto seed = static_cast<std::uint64_t>(o.whole("--seed", 1, 0, 2000000000L));
  if (!levels_text && shape.crack) throw UsageError("give the grid levels, e.g. --M 64,96,128,160,192,256");
  // Without --M an inhomogeneity takes levels that resolve its thinnest extent
  // (default_levels.h): for spheres 48...128, which extrapolate void and rigid
  // spheres to within 1 % with honest bars (docs/study.md); the coarser ladder
  // 16...48 leaves +3 % on a void sphere, whose order keeps rising under
  // refinement.
  const std::vector<std::int32_t> levels =
      levels_text ? parse_levels(*levels_text) : default_volume_levels(cli::shape_flags(shape, PROBE_M));
  if (!shape.crack) cli::require_inhomogeneity_modulus(m);
  if (!shape.crack) cli::check_contrast(contrast, m.E1);
  if (shifts > 1 && shape.mask) throw UsageError("--shifts moves analytic shapes; an image's voxels stay on their grid");
  if (o.has("--seed") && shifts == 1) throw UsageError("--seed applies with --shifts K, K >= 2");
  if (!shape.crack && o.text("--kernel")) throw UsageError("--kernel applies to cracks only");
  if (shape.crack && (o.text("--formulation") || o.text("--mean-field")))
    throw UsageError("--formulation and --mean-field apply to inhomogeneities only");
  o.reject_unused(COMMON);
  // Refused before the output directory is made.
  const contribution::Precision precision = cli::precision_setting(std::getenv("CONTRIBUTION_PRECISION"));

  StudyDescription d{o.text("--text").value_or(shape.description), m.E0, m.n0, m.E1, m.n1, m.tol};
  if (!shape.crack) d.text += ", E1/E0 = " + cli::format_number(m.E1 / m.E0);
  const fs::path dir = o.text("-o").value_or(".");
  const bool overwrite = o.has("--overwrite");
  cli::refuse_earlier_outputs(dir, {"study.json", "study.txt", "study.png", "fields.vti"}, overwrite, "study");
  const fs::path partial = cli::files_present(dir, {"study.json", "study.txt", "study.png"}).empty() ? "study.json"
                                                                                                       : "study.partial.json";
  // A shape with no node inside at the coarsest level fails there: before the folder is made.
  const std::vector<std::int32_t> coarsest = cli::shape_flags(shape, levels.front());
  if (std::find(coarsest.begin(), coarsest.end(), 1) == coarsest.end())
    throw UsageError("no grid node lies inside the shape at M = " + std::to_string(levels.front()) +
                     "; make the shape larger or the levels finer");
  cli::OutputFolder folder(dir);
  probe_writable(dir);

  std::string list;
  for (std::int32_t M : levels) list += (list.empty() ? "" : ", ") + std::to_string(M);
  std::fprintf(out, " study: %s\n levels: M = %s\n", d.text.c_str(), list.c_str());
  if (shifts > 1) std::fprintf(out, " each level the mean of %d solves, the shape shifted by sub-step offsets (seed %llu)\n", shifts,
                               static_cast<unsigned long long>(seed));
  d.seed = seed;
  contribution::SolveOptions options;
  options.threads = threads;
  options.machine_memory_bytes = physical_memory_bytes();
  options.precision = precision;
  // A level is a hundred or so applications on grids of a new size each time:
  // measuring the transforms (FFTW_MEASURE) took longer than it saved
  // (docs/performance.md).
  options.measure_plans = false;
  options.progress = progress_lines(out);
  contribution::StudyObserver observer;
  observer.level_started = [out](std::int32_t M) {
    std::fprintf(out, " level M = %d (h = %.6g)\n", M, contribution::grid_step(M));
    std::fflush(out);
  };
  // After each level the study so far is on disk: an interrupted study keeps it.
  observer.level_finished = [&](const contribution::Study& s) {
    write_files(dir, partial, d, s, false);
    folder.keep();
    std::fprintf(out, "   done in %.2f s\n", s.levels.back().elapsed_seconds);
  };

  // --fields: the finest level's first solve (with --shifts, the shape at its
  // first offset) keeps its fields; fields.vti goes with the study's other
  // files once the study is complete.
  const std::int32_t finest = levels.back();
  std::string fields_vti;
  if (fields) {
    observer.inhomogeneity_solved = [&](const contribution::InhomogeneityResult& r) {
      if (!r.field.empty()) fields_vti = inhomogeneity_fields_vti(r, shifted_flags(shape, r.M, shifts, seed, 0));
    };
    observer.crack_solved = [&](const contribution::CrackResult& r) {
      if (!r.opening.empty()) fields_vti = crack_openings_vti(r, shifted_flags(shape, r.M, shifts, seed, 0));
    };
  }

  std::signal(SIGINT, on_stop_signal);
  std::signal(SIGTERM, on_stop_signal);
  contribution::Study result;
  try {
    result = shape.crack
                 ? contribution::run_crack_study_averaged(
                       [&](std::int32_t M, int s) {
                         contribution::CrackProblem p;
                         p.matrix = {m.E0, m.n0};
                         p.nodes_per_axis = M + 1;
                         p.flags = shifted_flags(shape, M, shifts, seed, s);
                         p.tol = m.tol;
                         p.kernel = kernel;
                         p.keep_opening = fields && M == finest && s == 0;
                         return p;
                       },
                       shifts, levels, options, observer)
                 : contribution::run_inhomogeneity_study_averaged(
                       [&](std::int32_t M, int s) {
                         contribution::InhomogeneityProblem p;
                         p.matrix = {m.E0, m.n0};
                         p.inhomogeneity = {m.E1, m.n1};
                         p.nodes_per_axis = M + 1;
                         p.flags = shifted_flags(shape, M, shifts, seed, s);
                         p.tol = m.tol;
                         p.formulation_rule = contrast.formulation_rule;
                         p.mean_field_estimate = contrast.mean_field_estimate;
                         p.keep_field = fields && M == finest && s == 0;
                         return p;
                       },
                       shifts, levels, options, observer);
  } catch (const contribution::Cancelled&) {
    std::fprintf(out, "\n contribution_study: stopped by a signal; %s keeps the levels finished before it\n",
                 (dir / partial).string().c_str());
    return 128 + static_cast<int>(stop_requested);
  }
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  write_files(dir, partial, d, result, true);
  std::error_code ignored;
  if (fields) write_file_atomically(dir / "fields.vti", fields_vti);
  else fs::remove(dir / "fields.vti", ignored);  // an earlier study's (--overwrite) would not match this one
  folder.keep();
  std::fprintf(out, "\n%s\n wrote %s, study.txt and study.png%s\n", study_text(d, result).c_str(),
               (dir / "study.json").string().c_str(), fields ? " and fields.vti" : "");
  return 0;
}

}  // namespace

std::string help_text() {
  return std::string(R"(Usage: contribution_study SHAPE [shape options] [--M M1,M2,M3,...] [--E0 E] [--n0 N] [--E1 E]
                          [--n1 N] [--tol T] [--formulation F] [--mean-field A] [--kernel exact|specified] [--threads T] [--text TEXT] [-o DIR] [--overwrite]
                          [--fields]
       contribution_study SHAPE [shape options] --physics conductivity [--k0 K0] --k1 K1 [--M ...]

Solves the shape on every grid of the list (M intervals per axis, h = 2/M) in this
process and extrapolates every entry of the compliance and stiffness contribution
tensors to h = 0, with an error bar from several fitted models (docs/study.md).
Use five levels or more spanning a factor of 2 or more in h for a narrow bar.

The shapes and images are those of contribution_input:

)") + cli::shape_help() + R"(
Problem:
  --M LIST     grid levels, increasing, at least three, each >= 4 (default for an
               inhomogeneity 48,64,80,96,112,128, up to 64...192 for shapes
               thinner than a sphere of radius 0.5; required for a crack)
  --E0 E --n0 N   matrix material (default 1, 0.3)
  --E1 E --n1 N   inhomogeneity material; --E1 is required for an inhomogeneity:
                  0 for a void, inf for a rigid inclusion
  --tol T      convergence tolerance (default 1e-6)
)" + cli::contrast_help() + R"(  --kernel K   crack kernel: exact (default) or specified (the original program's)
  --shifts K   each level the mean of K solves (1 to 64; default 3 for an analytic
               crack, 1 otherwise) with the shape shifted by random sub-step offsets,
               which averages out the staircase scatter between levels; analytic
               shapes only
  --seed S     the offsets' seed (default 1): the same seed gives the same offsets
  --physics P  elasticity (default) or conductivity: the resistivity and conductivity
               contribution tensors R and K (3x3) instead of H and N (docs/conductivity.md)
  --k0 K0      conductivity: the matrix conductivity (default 1)
  --k1 K1      conductivity: the inhomogeneity's, 0 (insulator) to inf (perfect
               conductor); cracks are insulating and take none. Without --M the
               levels default to 64..112 step 8 (cracks: 128..640 step 64)
               both (cracks): conductivity, then the elastic crack (--E0, --n0) on the
               same levels, and the cross-property ratio H33/R33 = 2 (1 - n0^2) k0 / E0
  --threads T  threads of the solver (default: all cores)
  --text TEXT  the title (default: a description of the shape)
  -o DIR       where study.json, study.txt and study.png go (default: here; created)
  --overwrite  replace an earlier study's files in DIR once this study is complete
               (a folder holding them is refused otherwise)
  --fields     also write fields.vti (VTK image data, for ParaView): the finest level's
               solved fields at every node, field_load_1..6 (six components 11, 22, 33,
               12, 23, 13) and flag, or a crack's opening_load_1..3 (x, y, z) and flag;
               it costs about 300 N^3 bytes in memory and as much on disk (N = M + 1)

After every level study.json is rewritten (atomically) with the levels so far, so
a study stopped by Ctrl-C keeps them (with --overwrite: study.partial.json, beside
the earlier study's files, which stay until this study is complete). Exit status: 0 done, 2 bad command line or
image, 1 other failure, 130 interrupted.

Example: contribution_study sphere --radius 0.5 --E1 10 --M 16,20,24,28,32,40,48 -o sphere-study
)";
}

int run_study_program(const std::vector<std::string>& args, std::FILE* out, std::FILE* err) {
  stop_requested = 0;
  try {
    std::vector<cli::OptionRule> rules(std::begin(STUDY_RULES), std::end(STUDY_RULES));
    for (auto table : {cli::shape_option_rules(), cli::image_option_rules(), cli::material_option_rules(),
                       cli::contrast_option_rules()})
      rules.insert(rules.end(), table.begin(), table.end());
    const cli::CommandLine cl = cli::parse_command_line(args, rules);
    if (cl.help) {
      std::fputs(help_text().c_str(), out);
      return 0;
    }
    if (cl.version) {
      std::fputs(cli::version_text("contribution_study").c_str(), out);
      return 0;
    }
    return study(cl, out);
  } catch (...) {
    return cli::report_failure("contribution_study", err);
  }
}

}  // namespace csolver::study_tool
