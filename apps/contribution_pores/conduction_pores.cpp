#include "contribution_pores/conduction_pores.h"

#include "cli/exit_status.h"
#include "cli/output_folder.h"
#include "contribution/conductivity.h"
#include "contribution/effective.h"
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
  std::int32_t M = 0;
  contribution::Tensor3 R{}, K{};
  std::vector<int> iterations;
  int conv_flag = 0;
  double seconds = 0;
};

json rows(const contribution::Tensor3& t) {
  json out = json::array();
  for (const auto& row : t) out.push_back(json(row));
  return out;
}

ConductionPore solve_pore(const PoreTask& task, const PoresOptions& o) {
  ConductionPore r;
  r.M = task.M;
  if (!task.failure.empty()) {
    r.message = task.failure;
    return r;
  }
  contribution::ConductivityProblem problem;
  problem.k0 = o.k0;
  problem.k1 = o.k1;
  problem.nodes_per_axis = task.M + 1;
  problem.flags = task.flags;
  problem.tol = o.materials.tol;
  contribution::SolveOptions options;
  options.threads = o.threads;
  options.measure_plans = o.measure_plans;
  options.progress = [](const contribution::ProgressEvent&) { return stop_signal() == 0; };
  try {
    const contribution::ConductivityResult result = contribution::solve_conductivity(std::move(problem), options);
    r.status = PoreStatus::solved;
    r.R = result.R;
    r.K = result.K;
    for (const contribution::LoadCaseStatus& s : result.load_cases) r.iterations.push_back(s.iterations);
    r.conv_flag = result.conv_flag;
    r.seconds = result.seconds.total;
  } catch (const contribution::Cancelled&) {
    r.status = PoreStatus::cancelled;
  } catch (const std::exception& e) {
    r.message = e.what();
  }
  return r;
}

std::string pores_csv(const Population& p, const std::vector<ConductionPore>& results) {
  std::string out = "label,voxels,volume_fraction,M,status,R11,R22,R33,R23,R13,R12,iterations,conv_flag\n";
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
    for (auto [a, b] : {std::pair{0, 0}, {1, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}})
      field(r.status == PoreStatus::solved ? cli::format_number(r.R[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)])
                                           : std::string());
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
  top["materials"] = {{"k0", o.k0}, {"k1", o.k1}};
  top["tol"] = o.materials.tol;
  return top;
}

std::string pores_json(const PoresOptions& o, const Population& p, const std::vector<ConductionPore>& results) {
  json top = common(o, p);
  top["conventions"] = {{"R_tensor", "resistivity contribution tensor, per unit pore volume, rows and columns x, y, z"},
                        {"K_tensor", "conductivity contribution tensor, -k0^2 R"},
                        {"R_error", "null: each pore is solved on one grid, which gives no error bar"}};
  json pores = json::array();
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const ConductionPore& r = results[i];
    json entry = {{"label", kept[i].label},          {"voxels", kept[i].voxels},
                  {"volume_fraction", kept[i].volume_fraction}, {"centroid", kept[i].centroid},
                  {"M", r.M},                         {"status", status_name(r.status)}};
    if (r.status == PoreStatus::solved) {
      entry["R_tensor"] = rows(r.R);
      entry["R_error"] = nullptr;
      entry["K_tensor"] = rows(r.K);
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

std::string effective_json(const PoresOptions& o, const Population& p, const std::vector<ConductionPore>& results) {
  std::vector<fx::ConductionPhase> phases;
  double porosity = 0, solved_porosity = 0;
  std::vector<std::uint32_t> unsolved;
  const std::vector<image::PoreProperties>& kept = p.selection.kept;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    porosity += kept[i].volume_fraction;
    if (results[i].status != PoreStatus::solved) {
      unsolved.push_back(kept[i].label);
      continue;
    }
    solved_porosity += kept[i].volume_fraction;
    const fx::Kind kind = o.k1 == 0 ? fx::Kind::pore : fx::Kind::inhomogeneity;
    phases.push_back({kind, kept[i].volume_fraction, results[i].R, o.k1});
  }
  json top = common(o, p);
  top["porosity"] = porosity;
  top["pores"] = {{"solved", phases.size()}, {"solved_porosity", solved_porosity}, {"unsolved_labels", unsolved}};
  top["weights"] = "each pore's volume fraction (its voxels over the image's); each pore by the isotropic part of R";
  top["conductivity"] = {{"nia", fx::nia_conductivity(o.k0, phases)},
                         {"nia_resistivity", fx::nia_resistivity(o.k0, phases)},
                         {"mori_tanaka", fx::mori_tanaka_conductivity(o.k0, phases)},
                         {"maxwell", fx::maxwell_conductivity(o.k0, phases)}};
  top["schemes"] = {{"nia", "k0 + sum phi_i K_i, K_i = -k0^2 tr(R_i)/3"},
                    {"nia_resistivity", "1/k = 1/k0 + sum phi_i tr(R_i)/3"},
                    {"mori_tanaka", "k0 + (sum phi_i K_i) / (1 - sum phi_i + sum phi_i K_i / (k1 - k0))"},
                    {"maxwell", "k0 + 1 / (1 / (sum phi_i K_i) - 1 / (3 k0)), a spherical effective region"}};
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
  std::fprintf(out, " image: %s, %d x %d x %d voxels: %zu pores kept of %u found; conductivity k0 = %s, pores k1 = %s\n",
               o.image_file.c_str(), population.nx, population.ny, population.nz, population.selection.kept.size(),
               population.labels.count, cli::format_number(o.k0).c_str(), cli::format_number(o.k1).c_str());
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
    std::fprintf(out, " [%zu/%zu] pore %u: M %d, %s%s\n", ++done, results.size(), population.selection.kept[index].label,
                 r.M, outcome, r.status == PoreStatus::solved ? "" : r.message.c_str());
    std::fflush(out);
  }
  write_file_atomically(o.dir / "pores.csv", pores_csv(population, results));
  write_file_atomically(o.dir / "pores.json", pores_json(o, population, results));
  write_file_atomically(o.dir / "effective.json", effective_json(o, population, results));
  std::fprintf(out, " wrote %s: pores.csv, pores.json, effective.json (one grid per pore: no error bars)\n",
               o.dir.string().c_str());
  if (failed > 0) {
    std::fprintf(err, "contribution_pores: %zu of %zu pores failed (left out of effective.json's sums)\n", failed,
                 results.size());
    return 1;
  }
  return 0;
}

}  // namespace csolver::pores
