#include "contribution_pores/conduction_pores.h"

#include "cli/exit_status.h"
#include "cli/output_folder.h"
#include "contribution/conductivity.h"
#include "contribution/conductivity_study.h"
#include "contribution/effective.h"
#include "contribution/effective_error.h"
#include "contribution_pores/output_files.h"
#include "contribution_pores/population.h"
#include "contribution_pores/stop_signal.h"
#include "files/atomic_file.h"
#include "model/checks.h"

#include <nlohmann/json.hpp>

#include <filesystem>

namespace csolver::pores {

namespace fs = std::filesystem;
namespace fx = contribution::effective;
using json = nlohmann::ordered_json;
using cli::UsageError;

namespace {

struct ConductionPore {
  PoreStatus status = PoreStatus::failed;
  std::string message;
  std::int32_t M = 0;                // the finest grid
  std::vector<std::int32_t> levels;  // on a ladder, the grids solved; empty for one grid
  // On a ladder the extrapolated limits and each entry's half-width; on one
  // grid that grid's tensors, and no bar.
  contribution::Tensor3 R{}, K{}, R_error{}, K_error{};
  std::vector<int> iterations;  // per load case, the most any level took
  int conv_flag = 0;
  double seconds = 0;
  bool has_bars() const { return !levels.empty(); }
};

json rows(const contribution::Tensor3& t) {
  json out = json::array();
  for (const auto& row : t) out.push_back(json(row));
  return out;
}

// Each level solved as the elastic ladder solves it, then (three levels or
// more) every entry of R and K extrapolated to h = 0 with the study's rule
// and the floor of the mean the solver took.
ConductionPore solve_pore(const PoreTask& task, const PoresOptions& o) {
  ConductionPore r;
  r.M = task.M;
  if (!task.failure.empty()) {
    r.message = task.failure;
    return r;
  }
  contribution::SolveOptions options;
  options.threads = o.threads;
  options.measure_plans = o.measure_plans;
  options.progress = [](const contribution::ProgressEvent&) { return stop_signal() == 0; };
  try {
    const std::vector<std::int32_t> levels = task_levels(task);
    std::vector<double> h;
    std::vector<contribution::Tensor3> R, K;
    double margin = contribution::EXTRAPOLATION_MARGIN;
    r.conv_flag = 1;
    for (std::size_t level = 0; level < levels.size(); ++level) {
      contribution::ConductivityProblem problem;
      problem.k0 = o.k0;
      problem.k1 = o.k1;
      problem.nodes_per_axis = levels[level] + 1;
      problem.flags = level_flags(task, level);
      problem.tol = o.materials.tol;
      const contribution::ConductivityResult result = contribution::solve_conductivity(std::move(problem), options);
      h.push_back(result.h);
      R.push_back(result.R);
      K.push_back(result.K);
      margin = contribution::extrapolation_margin(result.mean);
      r.iterations.resize(result.load_cases.size());
      for (std::size_t lc = 0; lc < result.load_cases.size(); ++lc)
        r.iterations[lc] = std::max(r.iterations[lc], result.load_cases[lc].iterations);
      r.conv_flag = std::min(r.conv_flag, result.conv_flag);
      r.seconds += result.seconds.total;
    }
    if (levels.size() >= 3) r.levels = levels;
    const LadderValue<contribution::Tensor3> eR = ladder_value(h, R, margin), eK = ladder_value(h, K, margin);
    r.R = eR.value;
    r.R_error = eR.error;
    r.K = eK.value;
    r.K_error = eK.error;
    r.status = PoreStatus::solved;
  } catch (const contribution::Cancelled&) {
    r.status = PoreStatus::cancelled;
  } catch (const std::bad_alloc&) {
    r.message = "out of memory";
  } catch (const std::exception& e) {
    r.message = e.what();
  }
  return r;
}

// R and K by their six independent entries; a bar's fields empty on one grid.
constexpr std::pair<std::size_t, std::size_t> SIX[] = {{0, 0}, {1, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}};

std::string pores_csv(const Population& p, const std::vector<ConductionPore>& results) {
  std::string out = "label,voxels,volume_fraction,M,status";
  for (const char* name : {"R", "R_error_", "K", "K_error_"})
    for (auto [a, b] : SIX) {
      out += ',';
      out += name;
      out += std::to_string(a + 1);
      out += std::to_string(b + 1);
    }
  out += ",iterations,conv_flag\n";
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  auto field = [&out](const std::string& text) {
    out += text;
    out += ',';
  };
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const ConductionPore& r = results[i];
    field(std::to_string(kept[i].label));
    field(std::to_string(kept[i].voxels));
    field(cli::format_number(kept[i].volume_fraction));
    field(std::to_string(r.M));
    field(status_name(r.status));
    for (const auto& [tensor, is_bar] : {std::pair{&r.R, false}, {&r.R_error, true}, {&r.K, false}, {&r.K_error, true}})
      for (auto [a, b] : SIX)
        field(r.status == PoreStatus::solved && (!is_bar || r.has_bars()) ? cli::format_number((*tensor)[a][b]) : std::string());
    int total = 0;
    for (int it : r.iterations) total += it;
    field(std::to_string(total));
    out += std::to_string(r.conv_flag);
    out += '\n';
  }
  return out;
}

json common(const PoresOptions& o, const Population& p) {
  json top;
  top["physics"] = "conductivity";
  top["image"] = {{"file", o.image_file}, {"dims", {p.nx, p.ny, p.nz}}, {"selection", o.selection},
                  {"pore_voxels", p.pore_voxels}};
  top["grid"] = grid_of(o);
  top["materials"] = {{"k0", o.k0}, {"k1", o.k1}};
  top["tol"] = o.materials.tol;
  return top;
}

std::string pores_json(const PoresOptions& o, const Population& p, const std::vector<ConductionPore>& results) {
  json top = common(o, p);
  top["conventions"] = {{"R_tensor", "resistivity contribution tensor, per unit pore volume, rows and columns x, y, z"},
                        {"K_tensor", "conductivity contribution tensor, -k0^2 R"},
                        {"R_error", "half-width of each R entry's bar from the extrapolation over the levels "
                                    "(null on one grid: no bar)"},
                        {"K_error", "the same for K"}};
  json pores = json::array();
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const ConductionPore& r = results[i];
    json entry = {{"label", kept[i].label},          {"voxels", kept[i].voxels},
                  {"volume_fraction", kept[i].volume_fraction}, {"centroid", kept[i].centroid},
                  {"M", r.M},                         {"status", status_name(r.status)}};
    if (r.status == PoreStatus::solved) {
      entry["R_tensor"] = rows(r.R);
      entry["R_error"] = r.has_bars() ? rows(r.R_error) : json(nullptr);
      entry["K_tensor"] = rows(r.K);
      entry["K_error"] = r.has_bars() ? rows(r.K_error) : json(nullptr);
      if (r.has_bars()) entry["levels"] = r.levels;
      entry["iterations"] = r.iterations;
      entry["conv_flag"] = r.conv_flag;
    } else {
      entry["message"] = r.message;
    }
    pores.push_back(std::move(entry));
  }
  top["pores"] = std::move(pores);
  return layout_json(top);
}

// Every scheme's effective conductivity and, on a ladder, the half-width
// covering the range the pores' R bars allow (infinity: unbounded).
struct SchemeValue {
  const char* name;
  fx::ConductionScheme scheme;
  const char* formula;
  double k = 0, error = 0;
};

struct EffectiveConductivity {
  double porosity = 0, solved_porosity = 0;
  std::size_t solved = 0;
  std::vector<std::uint32_t> unsolved;
  bool has_bars = false;
  std::vector<SchemeValue> schemes{
      {"nia", fx::ConductionScheme::nia, "k0 + sum phi_i K_i, K_i = -k0^2 tr(R_i)/3"},
      {"nia_resistivity", fx::ConductionScheme::nia_resistivity, "1/k = 1/k0 + sum phi_i tr(R_i)/3"},
      {"mori_tanaka", fx::ConductionScheme::mori_tanaka,
       "k0 + (sum phi_i K_i) / (1 - sum phi_i + sum phi_i K_i / (k1 - k0))"},
      {"maxwell", fx::ConductionScheme::maxwell, "k0 + 1 / (1 / (sum phi_i K_i) - 1 / (3 k0)), a spherical effective region"}};
};

EffectiveConductivity effective_conductivity(const PoresOptions& o, const Population& p,
                                             const std::vector<ConductionPore>& results) {
  EffectiveConductivity e;
  std::vector<fx::ConductionPhase> phases;
  std::vector<contribution::Tensor3> R_errors;
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  const fx::Kind kind = o.k1 == 0 ? fx::Kind::pore : fx::Kind::inhomogeneity;
  tally_kept_pores(p, results, e, [&](std::size_t i) {
    phases.push_back({kind, kept[i].volume_fraction, results[i].R, o.k1});
    R_errors.push_back(results[i].R_error);
  });
  e.has_bars = !o.ladder.empty();
  for (SchemeValue& s : e.schemes) {
    s.k = fx::conductivity(s.scheme, o.k0, phases);
    if (e.has_bars) s.error = fx::covering_error(s.k, fx::conductivity_range(s.scheme, o.k0, phases, R_errors));
  }
  return e;
}

std::string effective_json(const PoresOptions& o, const Population& p, const EffectiveConductivity& e) {
  json top = common(o, p);
  top["porosity"] = e.porosity;
  top["pores"] = {{"solved", e.solved}, {"solved_porosity", e.solved_porosity}, {"unsolved_labels", e.unsolved}};
  top["weights"] = "each pore's volume fraction (its voxels over the image's); each pore by the isotropic part of R";
  if (e.has_bars)
    top["errors"] = "*_error: the half-width covering the effective conductivities that the pores' R bars allow "
                    "(each pore's isotropic part tr(R)/3 +- tr(R_error)/3; null: unbounded)";
  json conductivity, schemes;
  for (const SchemeValue& s : e.schemes) {
    conductivity[s.name] = s.k;
    // JSON has no infinity: an unbounded end is written as null.
    if (e.has_bars) conductivity[std::string(s.name) + "_error"] = std::isfinite(s.error) ? json(s.error) : json(nullptr);
    schemes[s.name] = s.formula;
  }
  top["conductivity"] = std::move(conductivity);
  top["schemes"] = std::move(schemes);
  return layout_json(top);
}

}  // namespace

void read_conduction_options(cli::Options& o, PoresOptions& p) {
  if (p.resume) throw UsageError("--resume does not apply to --physics conductivity (it keeps no journal)");
  p.k0 = o.positive("--k0", 1);
  if (const std::string problem = matrix_conductivity_problem(p.k0); !problem.empty()) throw UsageError(problem);
  p.k1 = o.number("--k1", 0);
  if (!(p.k1 >= 0 && p.k1 < p.k0))
    throw UsageError("--k1, the pore's conductivity, must be at least 0 and below --k0 " + cli::format_number(p.k0) +
                     ", got " + cli::format_number(p.k1));
  p.materials.tol = o.positive("--tol", 1e-6);
}

int run_conduction_pores(ReadOptions read, std::FILE* out, std::FILE* err, Distributor* distributor) {
  if (distributor) distributor->release_workers();  // this mode solves in rank 0 alone
  const PoresOptions& o = read.options;
  const Population population = analyse_image(std::move(read.mask), o);
  std::string grid = o.M > 0 ? "M = " + std::to_string(o.M) : cli::format_number(o.nodes_per_voxel) + " grid intervals per voxel";
  if (!o.ladder.empty()) {
    grid = "ladder M =";
    for (std::int32_t M : o.ladder) grid += " " + std::to_string(M);
    grid += " (extrapolated)";
  }
  std::fprintf(out,
               " image: %s, %d x %d x %d voxels: %zu pores kept of %u found; conductivity k0 = %s, pores k1 = %s; "
               "grid: %s per pore\n",
               o.image_file.c_str(), population.nx, population.ny, population.nz, population.selection.kept.size(),
               population.labels.count, cli::format_number(o.k0).c_str(), cli::format_number(o.k1).c_str(), grid.c_str());
  if (population.selection.kept.empty()) {
    std::fprintf(err, "contribution_pores: no pore is left to solve (%u found; see --min-voxels, --keep-border)\n",
                 population.labels.count);
    return 2;
  }
  // The files are written only once every pore is solved, each atomically:
  // an earlier run's stay whole until then.
  cli::refuse_earlier_outputs(o.dir, {"pores.csv", "pores.json", "effective.json", "pores.png"}, o.overwrite,
                              "population run");
  std::error_code error;
  fs::create_directories(o.dir, error);
  if (error) throw OutputError("cannot create the directory " + o.dir.string() + ": " + error.message());
  probe_writable(o.dir);

  install_stop_handlers();
  std::vector<ConductionPore> results(population.selection.kept.size());
  const std::vector<std::size_t> order = largest_first(population, std::vector<bool>(results.size(), false));
  std::size_t done = 0, failed = 0;
  for (std::size_t index : order) {
    const ConductionPore r = solve_pore(build_task(population, o, index), o);
    if (r.status == PoreStatus::cancelled || stop_signal() != 0) {
      const int signal_number = stop_signal();
      std::fprintf(err, "contribution_pores: stopped by a signal; nothing written (this mode keeps no journal)\n");
      return 128 + (signal_number != 0 ? signal_number : SIGTERM);
    }
    results[index] = r;
    failed += r.status == PoreStatus::failed ? 1 : 0;
    const char* outcome = r.status != PoreStatus::solved ? "FAILED: " : r.conv_flag == 1 ? "converged" : "NOT converged";
    std::string grid = "M " + std::to_string(r.M), value;
    if (r.has_bars()) grid = "M " + std::to_string(r.levels.front()) + ".." + std::to_string(r.M) + " extrapolated";
    if (r.status == PoreStatus::solved) {
      char text[96];
      const double iso = (r.R[0][0] + r.R[1][1] + r.R[2][2]) / 3, bar = (r.R_error[0][0] + r.R_error[1][1] + r.R_error[2][2]) / 3;
      if (r.has_bars()) std::snprintf(text, sizeof text, "; tr(R)/3 = %.6g +- %.2g", iso, bar);
      else std::snprintf(text, sizeof text, "; tr(R)/3 = %.6g", iso);
      value = text;
    }
    std::fprintf(out, " [%zu/%zu] pore %u: %lld voxels, %s, %.2f s, %s%s%s\n", ++done, results.size(),
                 population.selection.kept[index].label, static_cast<long long>(population.selection.kept[index].voxels),
                 grid.c_str(), r.seconds, outcome, r.status == PoreStatus::solved ? "" : r.message.c_str(), value.c_str());
    std::fflush(out);
  }
  write_file_atomically(o.dir / "pores.csv", pores_csv(population, results));
  write_file_atomically(o.dir / "pores.json", pores_json(o, population, results));
  const EffectiveConductivity effective = effective_conductivity(o, population, results);
  write_file_atomically(o.dir / "effective.json", effective_json(o, population, effective));
  std::fprintf(out, " wrote %s: pores.csv, pores.json, effective.json%s\n", o.dir.string().c_str(),
               effective.has_bars ? "" : " (one grid per pore: no error bars)");
  std::string line = " porosity " + cli::format_number(effective.porosity) + "; effective conductivity";
  for (const SchemeValue& s : effective.schemes) {
    char text[96];
    if (effective.has_bars) std::snprintf(text, sizeof text, " %s %.6g +- %.2g", s.name, s.k, s.error);
    else std::snprintf(text, sizeof text, " %s %.6g", s.name, s.k);
    line += text;
  }
  std::fprintf(out, "%s\n", line.c_str());
  if (failed > 0) {
    std::fprintf(err, "contribution_pores: %zu of %zu pores failed (left out of effective.json's sums)\n", failed,
                 results.size());
    return 1;
  }
  return 0;
}

}  // namespace csolver::pores
