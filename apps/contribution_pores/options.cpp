#include "contribution_pores/options.h"

#include "cli/contrast_options.h"
#include "cli/precision_setting.h"
#include "cli/shape_options.h"
#include "contribution_pores/conduction_pores.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace csolver::pores {

namespace {

using cli::UsageError;

constexpr cli::OptionRule PORES_RULES[] = {
    {"-o", cli::Kind::text, 1},
    {"--M", cli::Kind::number, 1},
    {"--ladder", cli::Kind::text, 1},
    {"--nodes-per-voxel", cli::Kind::number, 1},
    {"--fill", cli::Kind::number, 1},
    {"--sampling", cli::Kind::text, 1},
    {"--connectivity", cli::Kind::number, 1},
    {"--min-voxels", cli::Kind::number, 1},
    {"--keep-border", cli::Kind::flag, 0},
    {"--vtk", cli::Kind::flag, 0},
    {"--threads", cli::Kind::number, 1},
    {"--plans", cli::Kind::text, 1},
    {"--resume", cli::Kind::flag, 0},
    {"--overwrite", cli::Kind::flag, 0},
    {"--physics", cli::Kind::text, 1},
    {"--k0", cli::Kind::number, 1},
    {"--k1", cli::Kind::number, 1},
};

// "16,20,24,32": at least three grids (the extrapolation needs them), at
// most MAX_LADDER_LEVELS, M increasing.
std::vector<std::int32_t> read_ladder(const std::string& text) {
  std::vector<std::int32_t> ladder;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find(',', at), text.size());
    const std::string word = text.substr(at, end - at);
    std::size_t used = 0;
    long M = 0;
    try {
      M = std::stol(word, &used);
    } catch (const std::exception&) {
      used = 0;
    }
    if (word.empty() || used != word.size() || M < SMALLEST_M || M > LARGEST_M)
      throw UsageError("--ladder takes grid sizes M between " + std::to_string(SMALLEST_M) + " and " +
                       std::to_string(LARGEST_M) + " separated by commas (16,20,24,32), got '" + text + "'");
    if (!ladder.empty() && M <= ladder.back())
      throw UsageError("--ladder's grids must increase, got '" + text + "'");
    ladder.push_back(static_cast<std::int32_t>(M));
    at = end + 1;
  }
  if (ladder.size() < 3 || ladder.size() > MAX_LADDER_LEVELS)
    throw UsageError("--ladder takes 3 to " + std::to_string(MAX_LADDER_LEVELS) + " grids (the extrapolation needs three), got '" +
                     text + "'");
  return ladder;
}

}  // namespace

cli::CommandLine parse_pores_command_line(const std::vector<std::string>& args) {
  std::vector<cli::OptionRule> rules(std::begin(PORES_RULES), std::end(PORES_RULES));
  for (auto table : {cli::image_option_rules(), cli::material_option_rules(), cli::contrast_option_rules()})
    rules.insert(rules.end(), table.begin(), table.end());
  return cli::parse_command_line(args, rules);
}

ReadOptions read_pores_options(const cli::CommandLine& cl) {
  if (cl.positional.empty()) throw UsageError("no image given");
  if (cl.positional.size() > 1) throw UsageError("unexpected argument '" + cl.positional[1] + "' (one image per run)");
  cli::Options o(cl, "contribution_pores");
  ReadOptions read;
  PoresOptions& p = read.options;
  p.image_file = cl.positional[0];
  p.image_kind = o.has("--dims") || o.has("--type") ? "raw" : "tiff";

  const std::optional<std::string> dir = o.text("-o");
  if (!dir || dir->empty()) throw UsageError("no output directory: give -o DIR");
  p.dir = *dir;

  // Every number is checked before the image is read.
  if (o.has("--M") && o.has("--nodes-per-voxel")) throw UsageError("give either --M or --nodes-per-voxel, not both");
  if (o.has("--nodes-per-voxel")) {
    p.M = 0;
    p.nodes_per_voxel = o.positive("--nodes-per-voxel", 1);
  } else {
    p.M = static_cast<std::int32_t>(o.whole("--M", DEFAULT_M, SMALLEST_M, LARGEST_M));
  }
  p.placement.fill = o.positive("--fill", 1);
  if (p.placement.fill > 1) throw UsageError("--fill must be at most 1 (the pore would be cut at the grid's faces)");
  p.placement.voxel_size = cli::read_voxel_size(o);
  const long connectivity = o.whole("--connectivity", 26, 6, 26);
  if (connectivity != 6 && connectivity != 26) throw UsageError("--connectivity must be 6 or 26");
  p.connectivity = connectivity == 6 ? image::Connectivity::six : image::Connectivity::twenty_six;
  // A single voxel has no extent to lay onto a grid.
  p.filter.min_voxels = o.whole("--min-voxels", 8, 2, 2000000000L);
  p.filter.keep_border = o.has("--keep-border");
  p.vtk = o.has("--vtk");
  p.threads = static_cast<int>(o.whole("--threads", 0, 0, 4096));
  if (const std::optional<std::string> plans = o.text("--plans")) {
    if (*plans != "measure" && *plans != "estimate") throw UsageError("--plans takes 'measure' or 'estimate', got '" + *plans + "'");
    p.measure_plans = *plans == "measure";
  }
  p.resume = o.has("--resume");
  p.overwrite = o.has("--overwrite");
  if (p.resume && p.overwrite) throw UsageError("give either --resume (go on with DIR's run) or --overwrite (replace it), not both");
  p.precision = cli::precision_setting(std::getenv("CONTRIBUTION_PRECISION"));

  const std::string physics = o.text("--physics").value_or("elasticity");
  if (physics != "elasticity" && physics != "conductivity")
    throw UsageError("--physics takes 'elasticity' (the default) or 'conductivity', got '" + physics + "'");
  p.conduction = physics == "conductivity";
  if (p.conduction && p.vtk) throw UsageError("--vtk writes the pores' elastic values; it does not apply with --physics conductivity");
  // Both physics solve each pore on the ladder unless one grid is asked for.
  const bool single_grid = o.has("--M") || o.has("--nodes-per-voxel");
  if (single_grid && o.has("--ladder")) throw UsageError("give either --ladder or a single grid (--M, --nodes-per-voxel), not both");
  if (!single_grid) {
    p.M = 0;
    p.ladder = o.has("--ladder") ? read_ladder(*o.text("--ladder"))
                                 : std::vector<std::int32_t>(std::begin(DEFAULT_LADDER), std::end(DEFAULT_LADDER));
  }
  // Smooth sampling keeps the same surface on every level of the ladder; one
  // grid keeps the nearest-voxel flags contribution_input writes.
  p.sampling = single_grid ? image::PoreSampling::nearest : image::PoreSampling::smooth;
  if (const std::optional<std::string> sampling = o.text("--sampling")) {
    if (*sampling != "nearest" && *sampling != "smooth")
      throw UsageError("--sampling takes 'nearest' or 'smooth', got '" + *sampling + "'");
    p.sampling = image::parse_sampling(*sampling);
  }
  if (p.conduction) {
    read_conduction_options(o, p);
  } else {
    p.materials = cli::read_materials(o, true);
    // On the ladder an empty pore is an exact void; on one grid the stand-in
    // keeps flat pores' normal compliance (docs/pores.md).
    if (!p.materials.E1_given) p.materials.E1 = single_grid ? PORE_MODULUS_RATIO * p.materials.E0 : 0;
    if (!(p.materials.E1 < p.materials.E0))
      throw UsageError("a pore must be softer than the matrix: --E1 " + cli::format_number(p.materials.E1) +
                       " is not below --E0 " + cli::format_number(p.materials.E0) +
                       " (an empty pore is --E1 0, the default on the ladder of grids)");
    // The console program's numerics by default; an exact void takes the bounded
    // formulation, whose smoothed mean is the worst of the estimates
    // (docs/validation.md), so it takes the coefficient mean unless told.
    // On the ladder the measured recommendation: its sequences are monotone
    // and smooth in h, which the extrapolation needs.
    p.contrast = {single_grid ? contribution::FormulationRule::specified : contribution::RECOMMENDED_FORMULATION_RULE,
                  p.materials.E1 == 0 || !single_grid ? contribution::RECOMMENDED_MEAN_FIELD_ESTIMATE
                                                      : contribution::MeanFieldEstimate::smoothed};
    if (o.text("--formulation") || o.text("--mean-field")) {
      const cli::ContrastOptions given = cli::read_contrast(o);
      if (o.text("--formulation")) p.contrast.formulation_rule = given.formulation_rule;
      if (o.text("--mean-field")) p.contrast.mean_field_estimate = given.mean_field_estimate;
    }
    cli::check_contrast(p.contrast, p.materials.E1);
  }

  // The ladder's levels need not be solved to 1e-6: the extrapolation's bar
  // is thousands of times the iteration's error (docs/pores.md).
  if (!single_grid && !o.has("--tol")) p.materials.tol = LADDER_TOL;

  p.selection = cli::describe_selection(o);
  read.mask = cli::read_image(p.image_kind, p.image_file, o);
  o.reject_unused();
  return read;
}

std::string help_text() {
  return R"(Usage: contribution_pores IMAGE [image options] -o DIR [options]

Labels the pores of a 3-D image, solves each pore on its own grid, and writes
DIR/pores.csv, DIR/pores.json (one entry per pore kept, in label order),
DIR/effective.json (non-interaction and Mori-Tanaka estimates) and DIR/pores.png
(projections along z, y and x with every kept pore coloured by E0 |H|, dropped ones
grey; the size distribution; aspect ratio against E0 H33).

Image:
  IMAGE              a multi-page greyscale TIFF (8 or 16 bit, one page per z slice),
                     or a headerless raw volume when --dims and --type are given:
  --dims NX NY NZ --type u8|u16|u16be|i16|f32 [--header-bytes B]
  --threshold T      pore where value >= T;  --label L: pore where value == L;
                     default: pore where the value is nonzero
  --invert           take the complement (dark pores in a bright solid)
  --voxel SX SY SZ   voxel spacing in physical units (default 1 1 1)

Pores:
  --connectivity 26|6   voxels sharing a face, edge or corner (26, default) or a face (6)
  --min-voxels V        drop pores of fewer voxels (default 8, at least 2)
  --keep-border         keep pores touching the image border (dropped by default)
  --vtk                 also write DIR/pores.vti (VTK image data, for ParaView): the
                        label volume (label: kept pores' labels, 0 elsewhere) and each
                        pore's volume, aspect_ratio, H_norm (E0 |H|) and H33 (E0 H33)
                        on its voxels; 20 bytes per voxel on disk, 60 in memory

Grid and materials:
  (default)             each pore on the grids M = 16, 18, 20, 22, 24, 28, 32, every entry
                        extrapolated to h = 0 with an error bar (H_error in pores.json/csv,
                        *_error in effective.json); the pore an exact void (E1 = 0),
                        sampled smoothly (below)
  --ladder M1,M2,...    the ladder's grids instead (3 to 8, increasing)
  --M M                 one grid of M intervals per axis for each pore (at least 4;
                        then the pore's default material is E1 = 0.001 E0)
  --nodes-per-voxel D   instead of --M: D grid intervals per voxel along the pore's
                        longest side (M = max(4, round(D (n - 1) / fill)))
  --fill F              the pore's longest side spans F of the grid's side (default 1)
  --sampling S          how voxels become grid nodes: smooth (default on the ladder: the
                        level set of the Gaussian-smoothed pore, sigma 0.7 voxel, that
                        keeps its voxel volume; every grid sees the same surface) or
                        nearest (default on one grid: each node takes the nearest voxel,
                        as contribution_input does)
  --E0 E --n0 N         matrix (default 1, 0.3)
  --E1 E --n1 N         the pore's material (default: a void on the ladder, E1 = 0.001 E0
                        on one grid; n1 = n0);
                        E1 must be below E0; 0 is an exact void (bounded formulation,
                        coefficient mean: few iterations, but flat pores need fine
                        grids, docs/pores.md)
  --formulation F       bounded (default on the ladder), specified (default on one grid),
                        stiffness or compliance
  --mean-field A        coefficient (default on the ladder and for --E1 0), smoothed
                        (default on one grid) or corrected
  --tol T               BiCGSTAB tolerance (default 0.01 on the ladder, 1e-6 on one grid)
  --physics conductivity   instead of H and N: each pore's resistivity contribution
                        tensor R and the effective conductivity (docs/conductivity.md),
                        on the same ladder (R_error, *_error) or one grid (--M);
                        --k0 K (matrix, default 1), --k1 K (the pore's, default 0:
                        insulating); no journal (--resume) and no MPI in this mode

Run:
  -o DIR                output directory (required; created if missing)
  --resume              go on with the journal in DIR: pores already solved are not
                        solved again; without a journal, start one
  --overwrite           start afresh in a DIR holding an earlier run's files: its
                        journal is kept as pores.journal.earlier and its files are
                        replaced only once this run's are complete (refused otherwise)
  --threads T           threads per solving process (default: all cores of a serial
                        run; under MPI the node's cores shared among its worker ranks;
                        OMP_NUM_THREADS is honoured when set); a serial run on the
                        ladder solves T grids side by side, one thread each
  --plans estimate|measure   FFTW planning (default estimate: the same numbers in every
                        process; measure may be faster on a quiet machine, but then runs
                        in different processes differ in H at about 1e-4 relative)

Under mpirun -np K (K >= 2), rank 0 reads the image, hands the pores out largest
first to the K - 1 other ranks and writes every file; the files equal those of a
serial run. Each finished pore is appended to DIR/pores.journal; SIGINT or SIGTERM
stops the run cleanly, and --resume goes on from there.

Exit status: 0 all pores solved; 1 files written but some pore failed, or an output
error; 2 bad command line, unusable image, no pore (or no solid), a journal of other
parameters or with a damaged first record, or DIR holding an earlier run without --resume
or --overwrite;
128 + signal when interrupted.
)";
}

}  // namespace csolver::pores
