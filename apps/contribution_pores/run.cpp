#include "contribution_pores/run.h"

#include "cli/exit_status.h"
#include "contribution/contrast.h"
#include "cli/output_folder.h"
#include "cli/version.h"
#include "contribution_pores/conduction_pores.h"
#include "contribution_pores/journal.h"
#include "contribution_pores/output_files.h"
#include "contribution_pores/pores_picture.h"
#include "contribution_pores/pores_volume.h"
#include "contribution_pores/stop_signal.h"
#include "files/atomic_file.h"

#include <filesystem>

namespace csolver::pores {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;
using cli::format_number;

namespace {

std::string in_process_words(const InProcessTeam& team) {
  if (team.solves > 1) return "in this process, " + std::to_string(team.solves) + " grids side by side (one thread each)";
  return "in this process, " + std::to_string(team.threads_per_solve) + (team.threads_per_solve == 1 ? " thread" : " threads");
}

constexpr const char* EARLIER_JOURNAL = "pores.journal.earlier";

// Not a usage mistake, but nothing to do or a journal that is not ours:
// exit status 2, nothing written.
class RefusedRun : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(value));
  return text;
}

// What decides the pores and their numbers. A journal is continued only
// under the same parameters; "information" is shown, never compared (the
// image may have moved or been re-exported with the same voxels).
json run_parameters(const PoresOptions& o, const Population& p) {
  json grid;
  if (!o.ladder.empty()) grid["ladder"] = o.ladder;
  else if (o.M > 0) grid["M"] = o.M;
  else grid["nodes_per_voxel"] = o.nodes_per_voxel;
  grid["fill"] = o.placement.fill;
  // Only named when smooth: journals of nearest-voxel runs, written before
  // the choice existed, keep resuming.
  if (o.sampling == image::PoreSampling::smooth) {
    grid["pore_sampling"] = image::sampling_name(o.sampling);
    grid["smoothing_voxels"] = image::SMOOTHING_SIGMA;
  }
  return {{"format", "contribution_pores journal 1"},
          {"image", {{"dims", {p.nx, p.ny, p.nz}}, {"pore_voxels", p.pore_voxels}, {"mask_crc32", hex(p.mask_crc)}}},
          {"voxel_size", o.placement.voxel_size},
          {"connectivity", o.connectivity == image::Connectivity::six ? 6 : 26},
          {"min_voxels", o.filter.min_voxels},
          {"keep_border", o.filter.keep_border},
          {"grid", grid},
          {"materials", {{"E0", o.materials.E0}, {"n0", o.materials.n0}, {"E1", o.materials.E1}, {"n1", o.materials.n1}}},
          {"tol", o.materials.tol},
          {"numerics", {{"formulation_rule", contribution::describe(o.contrast.formulation_rule)},
                        {"mean_field_estimate", contribution::describe(o.contrast.mean_field_estimate)}}},
          {"information", {{"image_file", o.image_file}, {"selection", o.selection}}}};
}

void describe_population(std::FILE* out, const PoresOptions& o, const Population& p) {
  const image::FilteredPores& s = p.selection;
  std::fprintf(out, " image: %s, %d x %d x %d voxels, pore where %s: %lld voxels\n", o.image_file.c_str(), p.nx, p.ny, p.nz,
               o.selection.c_str(), static_cast<long long>(p.pore_voxels));
  std::fprintf(out, " pores: %u found (%s-connected); %zu kept, %zu dropped as small (< %lld voxels), %zu dropped at the border%s\n",
               p.labels.count, o.connectivity == image::Connectivity::six ? "6" : "26", s.kept.size(), s.dropped_small,
               static_cast<long long>(o.filter.min_voxels), s.dropped_border, o.filter.keep_border ? " (--keep-border)" : "");
  std::string ladder;
  for (std::int32_t M : o.ladder) ladder += (ladder.empty() ? "" : ", ") + std::to_string(M);
  const std::string grid = !o.ladder.empty() ? "ladder M = " + ladder + " (extrapolated)"
                         : o.M > 0          ? "M = " + std::to_string(o.M)
                                   : format_number(o.nodes_per_voxel) + " grid intervals per voxel (M at least " +
                                         std::to_string(SMALLEST_M) + ")";
  std::fprintf(out, " grid: %s per pore, fill %s, %s sampling; E0 = %s, n0 = %s, E1 = %s, n1 = %s, tol = %s\n", grid.c_str(),
               format_number(o.placement.fill).c_str(), image::sampling_name(o.sampling), format_number(o.materials.E0).c_str(),
               format_number(o.materials.n0).c_str(), format_number(o.materials.E1).c_str(),
               format_number(o.materials.n1).c_str(), format_number(o.materials.tol).c_str());
  std::fflush(out);
}

struct OpenJournal {
  std::optional<JournalWriter> writer;
  std::vector<std::optional<PoreResult>> slots;
  std::size_t resumed = 0;
};

// Reads DIR's journal and decides: refuse, resume or start afresh. Nothing
// is written in DIR before this returns a writer.
OpenJournal open_journal(std::FILE* out, const PoresOptions& o, const Population& p, const json& parameters) {
  const fs::path file = o.dir / JOURNAL_NAME;
  OpenJournal open;
  open.slots.resize(p.selection.kept.size());
  const JournalContents journal = read_journal(file);
  if (o.overwrite && journal.exists) {
    // The earlier journal stays beside the new one until this run's files are written.
    const fs::path earlier = o.dir / EARLIER_JOURNAL;
    std::error_code error;
    fs::rename(file, earlier, error);
    if (error) throw OutputError("cannot move " + file.string() + " aside to " + earlier.string() + ": " + error.message());
    std::fprintf(out, " journal: the earlier run's journal is kept as %s until this run's files are written\n",
                 earlier.string().c_str());
    open.writer.emplace(JournalWriter::create(file, parameters));
    std::fprintf(out, " journal: %s (new)\n", file.string().c_str());
    return open;
  }
  // A journal whose first record is damaged cannot be tied to any run; it is
  // left as it is for its owner to inspect, never replaced.
  if (journal.first_record_damaged())
    throw RefusedRun(file.string() + ": the first record (the run's parameters) is damaged: " +
                     describe_damage(journal.damage.front()) +
                     "; the journal is left as it is: move it away to start afresh, or choose another directory");
  if (journal.exists && journal.has_parameters) {
    if (!o.resume) {
      std::string damaged;
      for (const JournalDamage& d : journal.damage) damaged += "; DAMAGED " + describe_damage(d);
      throw RefusedRun(o.dir.string() + " holds the journal of an earlier run (" + std::to_string(journal.pores.size()) +
                       " pores solved" + damaged + "); give --resume to go on with it, --overwrite to start afresh, or "
                       "choose another directory");
    }
    const std::vector<std::string> differences = parameter_differences(parameters, journal.parameters);
    if (!differences.empty()) {
      std::string message = file.string() + " was written by a run with other parameters; --resume continues only the same run:";
      for (const std::string& d : differences) message += "\n  " + d;
      message += "\n(journal's run: " + journal.parameters.value("information", json::object()).dump() +
                 "); use another directory for a new run";
      throw RefusedRun(message);
    }
    for (const PoreResult& r : journal.pores) {
      // The same voxels and options give the same labels; check each record
      // against its pore all the same.
      if (r.index >= open.slots.size() || p.selection.kept[r.index].label != r.label)
        throw RefusedRun(file.string() + " holds pore " + std::to_string(r.label) + " at slot " + std::to_string(r.index) +
                         ", which is not a pore of this image under these parameters");
      if (!open.slots[r.index]) ++open.resumed;
      open.slots[r.index] = r;
    }
    if (journal.torn_bytes > 0)
      std::fprintf(out, " journal: dropped %ju bytes at its end that are not a complete record (a run was stopped while writing)\n",
                   journal.torn_bytes);
    if (journal.damage.empty()) {
      open.writer.emplace(JournalWriter::resume(file, journal.valid_bytes));
    } else {
      // Damage is reported where it is, and every record that verifies is kept.
      for (const JournalDamage& d : journal.damage)
        std::fprintf(out, " journal: DAMAGED %s; that record is left out and its pore solved again\n", describe_damage(d).c_str());
      const fs::path copy = o.dir / (std::string(JOURNAL_NAME) + ".damaged");
      open.writer.emplace(JournalWriter::rewrite(file, journal.verified_lines, copy));
      std::fprintf(out, " journal: the damaged journal is kept as %s; %s holds the %zu records that verify\n",
                   copy.string().c_str(), file.string().c_str(), journal.verified_lines.size());
    }
    std::fprintf(out, " journal: %s, resumed with %zu of %zu pores already solved\n", file.string().c_str(), open.resumed,
                 open.slots.size());
    std::fflush(out);
    return open;
  }
  cli::refuse_earlier_outputs(o.dir, {"pores.csv", "pores.json", "effective.json", "pores.png", "pores.vti"}, o.overwrite,
                              "population run");
  std::error_code error;
  fs::create_directories(o.dir, error);
  if (error) throw OutputError("cannot create the directory " + o.dir.string() + ": " + error.message());
  open.writer.emplace(JournalWriter::create(file, parameters));
  std::fprintf(out, " journal: %s (new%s)\n", file.string().c_str(), journal.exists ? ", replacing an empty one" : "");
  return open;
}

void write_outputs(std::FILE* out, const PoresOptions& o, const Population& p, const std::vector<PoreResult>& results) {
  const EffectiveProperties effective = effective_properties(o, p, results);
  write_file_atomically(o.dir / "pores.csv", pores_csv(p, results));
  write_file_atomically(o.dir / "pores.json", pores_json(o, p, results));
  write_file_atomically(o.dir / "effective.json", effective_json(o, effective));
  write_file_atomically(o.dir / "pores.png", pores_picture(p, results, o.materials.E0));
  std::error_code ignored;
  if (o.vtk) write_file_atomically(o.dir / "pores.vti", pores_vti(o, p, results));
  else fs::remove(o.dir / "pores.vti", ignored);  // an earlier run's (--overwrite) would not match these pores
  fs::remove(o.dir / EARLIER_JOURNAL, ignored);  // this run's files replace the earlier run's now
  std::fprintf(out, " wrote %s: pores.csv, pores.json, effective.json, pores.png%s\n", o.dir.string().c_str(),
               o.vtk ? ", pores.vti" : "");
  const auto& nia = effective.nia.isotropic;
  const auto& mt = effective.mori_tanaka.isotropic;
  if (o.ladder.empty()) {
    std::fprintf(out, " porosity %s; isotropic part: non-interaction E = %.6g, nu = %.6g; Mori-Tanaka E = %.6g, nu = %.6g\n",
                 format_number(effective.porosity).c_str(), nia.E, nia.nu, mt.E, mt.nu);
  } else {
    std::fprintf(out,
                 " porosity %s; isotropic part: non-interaction E = %.6g +- %.2g, nu = %.6g +- %.2g; Mori-Tanaka E = %.6g "
                 "+- %.2g, nu = %.6g +- %.2g\n",
                 format_number(effective.porosity).c_str(), nia.E, effective.nia.isotropic_error.E, nia.nu,
                 effective.nia.isotropic_error.nu, mt.E, effective.mori_tanaka.isotropic_error.E, mt.nu,
                 effective.mori_tanaka.isotropic_error.nu);
  }
}

int solve_and_write(const cli::CommandLine& cl, std::FILE* out, std::FILE* err, Distributor* distributor) {
  ReadOptions read = read_pores_options(cl);
  if (read.options.conduction) return run_conduction_pores(std::move(read), out, err, distributor);
  const PoresOptions& o = read.options;
  const Population population = analyse_image(std::move(read.mask), o);
  describe_population(out, o, population);
  if (population.pore_voxels == 0)
    throw RefusedRun("the image has no pore voxel (pore where " + o.selection + "); check --threshold, --label or --invert");
  // Without solid there is no matrix for the pores to soften (porosity 1):
  // refused before any pore is solved.
  if (population.pore_voxels == std::int64_t{population.nx} * population.ny * population.nz)
    throw RefusedRun("every voxel of the image is pore (pore where " + o.selection +
                     "), so there is no solid matrix; check --threshold, --label or --invert");
  if (population.selection.kept.empty())
    throw RefusedRun("no pore is left to solve: " + std::to_string(population.labels.count) + " found, " +
                     std::to_string(population.selection.dropped_small) + " smaller than --min-voxels, " +
                     std::to_string(population.selection.dropped_border) + " at the border (--keep-border keeps those)");

  OpenJournal journal = open_journal(out, o, population, run_parameters(o, population));
  std::vector<bool> done(journal.slots.size());
  for (std::size_t i = 0; i < done.size(); ++i) done[i] = journal.slots[i].has_value();
  const std::vector<std::size_t> order = largest_first(population, done);

  install_stop_handlers();
  Recorder recorder(out, *journal.writer, population, journal.slots, order.size());
  bool finished = true;
  if (!order.empty()) {
    std::fprintf(out, " solving %zu pores, largest first, %s\n", order.size(),
                 distributor ? distributor->describe().c_str()
                             : in_process_words(in_process_team(o)).c_str());
    std::fflush(out);
    finished = distributor ? distributor->solve(population, o, order, recorder) : solve_in_process(population, o, order, recorder);
  } else if (distributor) {
    distributor->release_workers();
  }
  if (!finished) {
    const int signal_number = stop_signal();
    std::fprintf(err,
                 "contribution_pores: stopped by %s; %zu of %zu pores are in the journal %s; run again with --resume to "
                 "go on\n",
                 signal_number == SIGINT ? "SIGINT" : signal_number == SIGTERM ? "SIGTERM" : "a signal on a worker rank",
                 journal.resumed + recorder.done(), journal.slots.size(), (o.dir / JOURNAL_NAME).string().c_str());
    return 128 + (signal_number != 0 ? signal_number : SIGTERM);
  }

  std::vector<PoreResult> results;
  for (const std::optional<PoreResult>& r : journal.slots) results.push_back(*r);
  write_outputs(out, o, population, results);
  std::size_t failed = 0, unconverged = 0;
  for (const PoreResult& r : results) {
    failed += r.status == PoreStatus::failed ? 1 : 0;
    unconverged += r.status == PoreStatus::solved && r.conv_flag != 1 ? 1 : 0;
  }
  if (unconverged > 0)
    std::fprintf(out, " note: %zu pores did not converge to --tol (conv_flag 0); their tensors are the last iterates\n", unconverged);
  if (failed > 0) {
    std::fprintf(err, "contribution_pores: %zu of %zu pores failed (status \"failed\" in pores.json, left out of effective.json's sums)\n",
                 failed, results.size());
    return 1;
  }
  return 0;
}

}  // namespace

int run_pores(const std::vector<std::string>& args, std::FILE* out, std::FILE* err, Distributor* distributor) {
  // Workers wait for rank 0's first answer; every way out of here gives it.
  struct Release {
    Distributor* d;
    ~Release() {
      if (d) d->release_workers();
    }
  } release{distributor};
  try {
    const cli::CommandLine cl = parse_pores_command_line(args);
    if (cl.help) {
      std::fputs(help_text().c_str(), out);
      return 0;
    }
    if (cl.version) {
      std::fputs(cli::version_text("contribution_pores").c_str(), out);
      return 0;
    }
    return solve_and_write(cl, out, err, distributor);
  } catch (const RefusedRun& e) {
    std::fprintf(err, "contribution_pores: %s\n", e.what());
    return 2;
  } catch (const JournalError& e) {
    std::fprintf(err, "contribution_pores: %s\n", e.what());
    return 2;
  } catch (...) {
    return cli::report_failure("contribution_pores", err);
  }
}

}  // namespace csolver::pores
