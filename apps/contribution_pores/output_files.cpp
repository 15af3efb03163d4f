#include "contribution_pores/output_files.h"

#include "cli/command_line.h"
#include "contribution/contrast.h"
#include "contribution/effective_error.h"

#include <cmath>

namespace csolver::pores {

namespace fx = contribution::effective;
using json = nlohmann::ordered_json;
using cli::format_number;

namespace {

constexpr const char* VOIGT_ORDER =
    "rows and columns 11, 22, 33, 23, 13, 12; engineering shear strains (2 e23, 2 e13, 2 e12)";

bool is_number_row(const json& v) {
  if (!v.is_array()) return false;
  for (const json& e : v)
    if (e.is_structured()) return false;
  return true;
}

std::string one_line(const json& row) {
  std::string out = "[";
  for (std::size_t i = 0; i < row.size(); ++i) out += (i ? ", " : "") + row[i].dump();
  return out + "]";
}

void lay_out(const json& v, int indent, std::string& out) {
  const std::string pad(static_cast<std::size_t>(indent) + 2, ' ');
  if (v.is_object()) {
    if (v.empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    std::size_t i = 0;
    for (const auto& [key, value] : v.items()) {
      out += pad + json(key).dump() + ": ";
      lay_out(value, indent + 2, out);
      out += ++i < v.size() ? ",\n" : "\n";
    }
    out += std::string(static_cast<std::size_t>(indent), ' ') + "}";
  } else if (is_number_row(v)) {
    out += one_line(v);
  } else if (v.is_array()) {
    out += "[\n";
    for (std::size_t i = 0; i < v.size(); ++i) {
      out += pad;
      lay_out(v[i], indent + 2, out);
      out += i + 1 < v.size() ? ",\n" : "\n";
    }
    out += std::string(static_cast<std::size_t>(indent), ' ') + "]";
  } else {
    out += v.dump();
  }
}

json rows(const contribution::Tensor6& t) {
  json out = json::array();
  for (const auto& row : t) out.push_back(json(row));
  return out;
}

json moduli(const fx::IsotropicModuli& m) { return {{"E", m.E}, {"nu", m.nu}, {"K", m.K}, {"G", m.G}}; }

json scheme(const SchemeResult& s, bool with_errors) {
  json out = {{"compliance", rows(s.compliance)}, {"stiffness", rows(s.stiffness)}, {"isotropic", moduli(s.isotropic)}};
  if (with_errors) {
    out["compliance_error"] = rows(s.compliance_error);
    // JSON has no infinity: an unbounded end is written as null.
    for (const auto& [key, value] : {std::pair<const char*, double>{"E_error", s.isotropic_error.E},
                                     {"nu_error", s.isotropic_error.nu},
                                     {"K_error", s.isotropic_error.K},
                                     {"G_error", s.isotropic_error.G}})
      out["isotropic"][key] = std::isfinite(value) ? json(value) : json(nullptr);
  }
  return out;
}

SchemeResult from_compliance(const contribution::Tensor6& S, const contribution::Tensor6& S_error) {
  SchemeResult s{S, fx::inverse(S), fx::isotropic_projection_of_compliance(S), S_error, {}};
  const fx::IsotropicRange range = fx::isotropic_moduli_range(S, S_error);
  s.isotropic_error = {fx::covering_error(s.isotropic.K, range.K), fx::covering_error(s.isotropic.G, range.G),
                       fx::covering_error(s.isotropic.E, range.E), fx::covering_error(s.isotropic.nu, range.nu)};
  return s;
}

}  // namespace

json grid_of(const PoresOptions& o) {
  json grid;
  if (!o.ladder.empty()) grid["ladder"] = o.ladder;
  else if (o.M > 0) grid["M"] = o.M;
  else grid["nodes_per_voxel"] = o.nodes_per_voxel;
  grid["fill"] = o.placement.fill;
  grid["pore_sampling"] = image::sampling_name(o.sampling);
  if (o.sampling == image::PoreSampling::smooth) grid["smoothing_voxels"] = image::SMOOTHING_SIGMA;
  return grid;
}

std::string layout_json(const json& value) {
  std::string out;
  lay_out(value, 0, out);
  return out + "\n";
}

EffectiveProperties effective_properties(const PoresOptions& options, const Population& population,
                                         const std::vector<PoreResult>& results) {
  const fx::Material matrix{options.materials.E0, options.materials.n0};
  EffectiveProperties e;
  e.S0 = fx::isotropic_compliance(matrix);
  e.C0 = fx::isotropic_stiffness(matrix);
  std::vector<fx::CompliancePhase> phases;
  std::vector<contribution::Tensor6> H_errors;
  const std::vector<image::PoreProperties>& kept = population.selection.kept;
  tally_kept_pores(population, results, e, [&](std::size_t i) {
    phases.push_back({fx::Kind::pore, kept[i].volume_fraction, results[i].H, {}});
    H_errors.push_back(results[i].H_error);
  });
  e.nia = from_compliance(fx::nia_compliance(matrix, phases), fx::compliance_error(phases, H_errors, fx::Scheme::non_interaction));
  e.mori_tanaka = from_compliance(fx::mori_tanaka_compliance(matrix, phases),
                                  fx::compliance_error(phases, H_errors, fx::Scheme::mori_tanaka));
  return e;
}

std::string pores_csv(const Population& population, const std::vector<PoreResult>& results) {
  std::string out = "label,voxels,volume_fraction,centroid_x,centroid_y,centroid_z,"
                    "bbox_begin_x,bbox_begin_y,bbox_begin_z,bbox_end_x,bbox_end_y,bbox_end_z,"
                    "ellipsoid_a1,ellipsoid_a2,ellipsoid_a3";
  for (int d = 1; d <= 3; ++d)
    for (const char* axis : {"x", "y", "z"}) out += ",ellipsoid_d" + std::to_string(d) + "_" + axis;
  out += ",M,flagged_nodes,status";
  for (const char* t : {"H", "N"})
    for (int r = 1; r <= 6; ++r)
      for (int c = 1; c <= 6; ++c) {
        const char name[] = {',', t[0], '_', static_cast<char>('0' + r), static_cast<char>('0' + c), '\0'};
        out += name;
      }
  for (int r = 1; r <= 6; ++r)
    for (int c = 1; c <= 6; ++c) out += ",H_error_" + std::to_string(r) + std::to_string(c);
  for (int lc = 1; lc <= 6; ++lc) out += ",iterations_" + std::to_string(lc);
  out += ",conv_flag,symmetry_flag\n";

  const std::vector<image::PoreProperties>& kept = population.selection.kept;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const image::PoreProperties& p = kept[i];
    const PoreResult& r = results[i];
    const bool solved = r.status == PoreStatus::solved;
    std::string line = std::to_string(p.label);
    const auto field = [&line](const std::string& value) {
      line += ',';
      line += value;
    };
    field(std::to_string(p.voxels));
    field(format_number(p.volume_fraction));
    for (double c : p.centroid) field(format_number(c));
    for (std::int32_t b : p.box_begin) field(std::to_string(b));
    for (std::int32_t b : p.box_end) field(std::to_string(b));
    for (double a : p.ellipsoid.semi_axes) field(format_number(a));
    for (const auto& d : p.ellipsoid.directions)
      for (double c : d) field(format_number(c));
    field(std::to_string(r.M));
    field(std::to_string(r.flagged_nodes));
    field(status_name(r.status));
    // A pore that failed has no tensors: its fields stay empty.
    for (const contribution::Tensor6* t : {&r.H, &r.N})
      for (const auto& row : *t)
        for (double v : row) field(solved ? format_number(v) : "");
    for (const auto& row : r.H_error)
      for (double v : row) field(solved ? format_number(v) : "");
    for (int it : r.iterations) field(solved ? std::to_string(it) : "");
    field(solved ? std::to_string(r.conv_flag) : "");
    field(solved ? std::to_string(r.symmetry_flag) : "");
    out += line;
    out += '\n';
  }
  return out;
}

std::string pores_json(const PoresOptions& o, const Population& population, const std::vector<PoreResult>& results) {
  json top;
  top["image"] = {{"file", o.image_file},
                  {"dims", {population.nx, population.ny, population.nz}},
                  {"selection", o.selection},
                  {"voxel_size", o.placement.voxel_size},
                  {"pore_voxels", population.pore_voxels}};
  top["connectivity"] = o.connectivity == image::Connectivity::six ? 6 : 26;
  top["min_voxels"] = o.filter.min_voxels;
  top["keep_border"] = o.filter.keep_border;
  top["grid"] = grid_of(o);
  top["materials"] = {{"E0", o.materials.E0}, {"n0", o.materials.n0}, {"E1", o.materials.E1}, {"n1", o.materials.n1}};
  top["tol"] = o.materials.tol;
  top["formulation_rule"] = contribution::describe(o.contrast.formulation_rule);
  top["mean_field_estimate"] = contribution::describe(o.contrast.mean_field_estimate);
  top["precision"] = contribution::describe(o.precision);
  top["conventions"] = {
      {"centroid", "voxel coordinates (x, y, z): voxel centres at integers, x = column, y = row, z = page"},
      {"bbox", "voxel indices, half-open: begin <= index < end"},
      {"ellipsoid_axes", "semi-axes of the ellipsoid of equal second moments, physical units, descending"},
      {"ellipsoid_directions", "unit vectors (x, y, z), one per semi-axis, a right-handed frame"},
      {"tensors", std::string("per unit pore volume; ") + VOIGT_ORDER},
      {"H_error", "half-width of each H entry's bar from the extrapolation over the levels (0 on one grid: no bar)"},
      {"volume_fraction", "pore voxels over all voxels of the image"}};
  top["found"] = population.labels.count;
  top["kept"] = population.selection.kept.size();
  top["dropped"] = {{"border", population.selection.dropped_border}, {"small", population.selection.dropped_small}};
  json pores = json::array();
  const std::vector<image::PoreProperties>& kept = population.selection.kept;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    const image::PoreProperties& p = kept[i];
    const PoreResult& r = results[i];
    json entry = {{"label", p.label},
                  {"voxels", p.voxels},
                  {"volume_fraction", p.volume_fraction},
                  {"centroid", p.centroid},
                  {"bbox", {{"begin", p.box_begin}, {"end", p.box_end}}},
                  {"ellipsoid_axes", p.ellipsoid.semi_axes},
                  {"ellipsoid_directions", p.ellipsoid.directions},
                  {"M", r.M},
                  {"flagged_nodes", r.flagged_nodes},
                  {"status", status_name(r.status)}};
    if (r.status == PoreStatus::solved) {
      entry["H_tensor"] = rows(r.H);
      entry["N_tensor"] = rows(r.N);
      entry["H_error"] = rows(r.H_error);
      if (!r.levels.empty()) entry["levels"] = r.levels;
      entry["iterations"] = r.iterations;
      entry["conv_flag"] = r.conv_flag;
      entry["symmetry_flag"] = r.symmetry_flag;
    } else {
      entry["message"] = r.message;
    }
    pores.push_back(std::move(entry));
  }
  top["pores"] = std::move(pores);
  return layout_json(top);
}

std::string effective_json(const PoresOptions& o, const EffectiveProperties& e) {
  json top;
  top["voigt_order"] = VOIGT_ORDER;
  const fx::IsotropicModuli m0 = fx::moduli_of({o.materials.E0, o.materials.n0});
  top["matrix"] = {{"E0", o.materials.E0}, {"n0", o.materials.n0}, {"K", m0.K}, {"G", m0.G},
                   {"compliance", rows(e.S0)}, {"stiffness", rows(e.C0)}};
  top["porosity"] = e.porosity;
  top["pores"] = {{"solved", e.solved}, {"solved_porosity", e.solved_porosity}, {"unsolved_labels", e.unsolved}};
  top["weights"] = "each pore's volume fraction (its voxels over the image's)";
  const bool with_errors = !o.ladder.empty();
  if (with_errors)
    top["errors"] = "compliance_error: entrywise half-widths sum phi_i H_error_i / c0; *_error: the half-width covering the "
                    "moduli the compliance's bar allows (null: unbounded)";
  top["nia"] = scheme(e.nia, with_errors);
  top["nia"]["scheme"] = "non-interaction: S = S0 + sum phi_i H_i; stiffness = S^-1; isotropic projection of S";
  top["mori_tanaka"] = scheme(e.mori_tanaka, with_errors);
  top["mori_tanaka"]["scheme"] =
      "Mori-Tanaka for pores: S = S0 + (sum phi_i H_i) / (1 - sum phi_i); stiffness = S^-1; isotropic projection of S";
  return layout_json(top);
}

}  // namespace csolver::pores
