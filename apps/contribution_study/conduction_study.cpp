#include "contribution_study/conduction_study.h"

#include "cli/exit_status.h"
#include "cli/output_folder.h"
#include "cli/shape_options.h"
#include "contribution/conductivity_study.h"
#include "contribution_study/conduction_files.h"
#include "files/atomic_file.h"
#include "model/checks.h"
#include "system/memory.h"

#include <cmath>
#include <filesystem>
#include <limits>

namespace csolver::study_tool {

namespace fs = std::filesystem;

namespace {

using cli::UsageError;

// 0 (insulator) to inf (perfect conductor).
double read_k1(const std::string& text) {
  if (text == "inf" || text == "infinity") return std::numeric_limits<double>::infinity();
  const std::optional<double> value = cli::parse_number(text);
  if (!value || !inhomogeneity_conductivity_problem(*value).empty())
    throw UsageError("--k1 takes the inhomogeneity's conductivity, from 0 (insulator) to inf (perfect conductor); got '" +
                     text + "'");
  return *value;
}

std::string k1_text(double k1) { return std::isinf(k1) ? "inf" : cli::format_number(k1); }

// The levels so far go to `partial` (study.json in a folder without an
// earlier study; beside one that --overwrite replaces, study.partial.json, so
// that the earlier files stay whole until this study is complete).
void write_files(const fs::path& dir, const fs::path& partial, const ConductionDescription& d,
                 const contribution::ConductivityStudy& study, bool complete) {
  if (!complete) {
    write_file_atomically(dir / partial, conduction_json(d, study, false));
    return;
  }
  write_file_atomically(dir / "study.txt", conduction_text(d, study));
  write_file_atomically(dir / "study.png", conduction_png(d, study));
  write_file_atomically(dir / "study.json", conduction_json(d, study, true));
  if (partial != "study.json") fs::remove(dir / partial);
}

}  // namespace

std::vector<std::int32_t> default_conduction_levels(bool crack) {
  if (crack) return {128, 192, 256, 320, 384, 448, 512, 576, 640};
  return {64, 72, 80, 88, 96, 104, 112};
}

int conduction_study(const cli::CommandLine& cl, cli::Options& o, std::FILE* out, const StudyHooks& hooks) {
  const bool both = o.text("--physics").value_or("") == "both";
  const std::optional<std::string> levels_text = o.text("--M");
  const double k0 = o.positive("--k0", 1);
  if (const std::string problem = matrix_conductivity_problem(k0); !problem.empty()) throw UsageError(problem);
  const std::optional<std::string> k1_option = o.text("--k1");
  const double tol = o.positive("--tol", 1e-6);
  const int threads = static_cast<int>(o.whole("--threads", 0, 0, 1024));
  const bool crack_wanted = o.has("--crack");
  const cli::ShapeSpec shape = cli::read_shape(cl, o, crack_wanted);
  if (o.text("--kernel")) throw UsageError("--kernel applies to elastic cracks only (conduction uses the exact kernel)");
  if (shape.crack && k1_option)
    throw UsageError("--k1 does not apply to a crack: conduction cracks are insulating (no flux across their faces)");
  if (!shape.crack && !k1_option)
    throw UsageError("an inhomogeneity needs --k1, its conductivity (for example --k1 10, --k1 0 for an insulator, "
                     "--k1 inf for a perfect conductor)");
  const double k1 = shape.crack ? 0.0 : read_k1(*k1_option);
  if (both && !shape.crack)
    throw UsageError("--physics both applies to cracks: their H33 beside R33 and the cross-property ratio");
  CrossProperty cross;
  if (both) {
    cross.E0 = o.positive("--E0", 1);
    cross.n0 = o.number("--n0", 0.3);
    if (!(cross.n0 > -1 && cross.n0 < 0.5))
      throw UsageError("--n0 must lie between -1 and 0.5, got " + cli::format_number(cross.n0));
    cross.closed_form = 2 * (1 - cross.n0 * cross.n0) * k0 / cross.E0;
  }
  const std::vector<std::int32_t> levels =
      levels_text ? hooks.parse_levels(*levels_text) : default_conduction_levels(shape.crack);
  o.reject_unused({"--M", "--threads", "--text", "-o", "--crack", "--physics", "--k0", "--k1", "--tol", "--overwrite"});
  if (both) cross.H33.reserve(levels.size());

  ConductionDescription d{o.text("--text").value_or(shape.description), k0, k1, tol, {}};
  if (!shape.crack) d.text += ", k1/k0 = " + k1_text(k1 / k0);
  const fs::path dir = o.text("-o").value_or(".");
  cli::refuse_earlier_outputs(dir, {"study.json", "study.txt", "study.png"}, o.has("--overwrite"), "study");
  const fs::path partial =
      cli::files_present(dir, {"study.json", "study.txt", "study.png"}).empty() ? "study.json" : "study.partial.json";
  std::error_code error;
  fs::create_directories(dir, error);
  if (error) throw OutputError("cannot create the directory " + dir.string() + ": " + error.message());
  probe_writable(dir);

  std::string list;
  for (std::int32_t M : levels) list += (list.empty() ? "" : ", ") + std::to_string(M);
  std::fprintf(out, " study (conductivity): %s\n levels: M = %s\n", d.text.c_str(), list.c_str());
  contribution::SolveOptions options;
  options.threads = threads;
  options.machine_memory_bytes = physical_memory_bytes();
  options.progress = hooks.progress;
  contribution::ConductivityStudyObserver observer;
  observer.level_started = [out](std::int32_t M) {
    std::fprintf(out, " level M = %d (h = %.6g)\n", M, contribution::grid_step(M));
    std::fflush(out);
  };
  observer.level_finished = [&](const contribution::ConductivityStudy& s) {
    write_files(dir, partial, d, s, false);
    std::fprintf(out, "   done in %.2f s\n", s.levels.back().elapsed_seconds);
  };

  std::signal(SIGINT, hooks.on_stop_signal);
  std::signal(SIGTERM, hooks.on_stop_signal);
  contribution::ConductivityStudy result;
  try {
    if (shape.crack) {
      result = contribution::run_conductivity_study(
          [&](std::int32_t M) {
            contribution::ConductivityCrackProblem p;
            p.k0 = k0;
            p.nodes_per_axis = M + 1;
            p.flags = cli::shape_flags(shape, M);
            p.tol = tol;
            return p;
          },
          levels, options, observer);
    } else {
      result = contribution::run_conductivity_study(
          [&](std::int32_t M) {
            contribution::ConductivityProblem p;
            p.k0 = k0;
            p.k1 = k1;
            p.nodes_per_axis = M + 1;
            p.flags = cli::shape_flags(shape, M);
            p.tol = tol;
            return p;
          },
          levels, options, observer);
    }
  } catch (const contribution::Cancelled&) {
    std::fprintf(out, "\n contribution_study: stopped by a signal; %s keeps the levels finished before it\n",
                 (dir / partial).string().c_str());
    return 128 + static_cast<int>(*hooks.stop_requested);
  }
  if (both) {
    // The same crack's elastic study on the same levels (exact kernel).
    std::fprintf(out, " the elastic crack on the same levels (E0 = %s, n0 = %s):\n", cli::format_number(cross.E0).c_str(),
                 cli::format_number(cross.n0).c_str());
    contribution::StudyObserver elastic_observer;
    elastic_observer.level_started = observer.level_started;
    contribution::Study elastic;
    try {
      elastic = contribution::run_crack_study(
          [&](std::int32_t M) {
            contribution::CrackProblem p;
            p.matrix = {cross.E0, cross.n0};
            p.nodes_per_axis = M + 1;
            p.flags = cli::shape_flags(shape, M);
            p.tol = tol;
            return p;
          },
          levels, options, elastic_observer);
    } catch (const contribution::Cancelled&) {
      std::fprintf(out, "\n contribution_study: stopped by a signal; study.json keeps the conduction levels\n");
      return 128 + static_cast<int>(*hooks.stop_requested);
    }
    std::vector<double> h, ratio;
    for (std::size_t i = 0; i < elastic.levels.size(); ++i) {
      cross.H33.push_back(elastic.levels[i].H[2][2]);
      h.push_back(elastic.levels[i].h);
      ratio.push_back(cross.H33.back() / result.levels[i].R[2][2]);
    }
    cross.H33_limit = contribution::extrapolate(h, cross.H33);
    cross.ratio = contribution::extrapolate(h, ratio);
    d.cross_property = cross;
  }
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  write_files(dir, partial, d, result, true);
  std::fprintf(out, "\n%s\n wrote %s, study.txt and study.png\n", conduction_text(d, result).c_str(),
               (dir / "study.json").string().c_str());
  return 0;
}

}  // namespace csolver::study_tool
