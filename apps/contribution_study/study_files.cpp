#include "contribution_study/study_files.h"

#include "drawing/plot.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace csolver::study_tool {

namespace {

using json = nlohmann::ordered_json;
using contribution::Study;
using contribution::StudyLevel;

// Two-space indentation, a matrix row or a level's iterations on one line.
std::string compact(const json& value, int depth = 0) {
  const std::string pad(static_cast<std::size_t>(2 * depth), ' ');
  const bool flat_array = value.is_array() && std::none_of(value.begin(), value.end(), [](const json& v) {
                            return v.is_array() ? std::any_of(v.begin(), v.end(), [](const json& w) { return w.is_structured(); })
                                                : v.is_object();
                          });
  if (value.is_object()) {
    std::string out = "{\n";
    std::size_t i = 0;
    for (const auto& [key, item] : value.items())
      out += pad + "  " + json(key).dump() + ": " + compact(item, depth + 1) + (++i < value.size() ? ",\n" : "\n");
    return out + pad + "}";
  }
  if (value.is_array() && !flat_array) {
    std::string out = "[\n";
    for (std::size_t i = 0; i < value.size(); ++i)
      out += pad + "  " + compact(value[i], depth + 1) + (i + 1 < value.size() ? ",\n" : "\n");
    return out + pad + "]";
  }
  return value.dump();
}

}  // namespace

std::string format_json(const nlohmann::ordered_json& value) { return compact(value); }

std::string shear_pairs(contribution::ShearOrder order) {
  return order == contribution::ShearOrder::yz_xz_xy ? "23, 13, 12" : "12, 13, 23";
}

std::vector<Entry> main_entries(const Study& study) {
  static const std::array<std::array<std::size_t, 2>, 9> volume = {
      {{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}, {3, 3}, {4, 4}, {5, 5}}};
  static const std::array<std::array<std::size_t, 2>, 3> crack = {{{2, 2}, {3, 3}, {4, 4}}};
  std::vector<Entry> entries;
  auto consider = [&](std::size_t r, std::size_t c) {
    const bool nonzero = std::any_of(study.levels.begin(), study.levels.end(),
                                     [&](const StudyLevel& level) { return level.H[r][c] != 0; });
    if (nonzero) entries.push_back({r, c, entry_name('H', r, c)});
  };
  if (study.crack) {
    for (const auto& rc : crack) consider(rc[0], rc[1]);
  } else {
    for (const auto& rc : volume) consider(rc[0], rc[1]);
  }
  // No contrast (E1 = E0, n1 = n0): every entry is zero; show the first one's zeros.
  if (entries.empty()) {
    const auto& first = study.crack ? crack[0] : volume[0];
    entries.push_back({first[0], first[1], entry_name('H', first[0], first[1])});
  }
  return entries;
}

std::string study_json(const StudyDescription& d, const Study& study, bool complete) {
  json out;
  out["physics"] = "elasticity";
  out["problem"] = study.crack ? "crack" : "inhomogeneity";
  out["text"] = d.text;
  out["kernel"] = study.crack ? json(study.kernel == contribution::PlanarKernel::exact ? "exact" : "specified") : json(nullptr);
  out["formulation"] = study.crack ? json(nullptr)
                                   : json(study.formulation == contribution::Formulation::stiffness ? "stiffness" : "compliance");
  out["formulation_rule"] = study.crack ? json(nullptr) : json(contribution::describe(study.formulation_rule));
  out["mean_field_estimate"] = study.crack ? json(nullptr) : json(contribution::describe(study.mean_field_estimate));
  out["shear_order"] = shear_pairs(study.shear_order);
  // JSON has no infinity: a rigid inclusion's modulus is written "inf".
  out["materials"] = {{"E0", d.E0}, {"n0", d.n0}, {"E1", std::isinf(d.E1) ? json("inf") : json(d.E1)}, {"n1", d.n1}};
  out["tol"] = d.tol;
  out["distance_margin"] = study.distance_margin;
  out["shifts"] = study.shifts;  // solves averaged per level, the shape shifted by sub-step offsets
  out["shift_seed"] = study.shifts > 1 ? json(d.seed) : json(nullptr);
  out["precision"] = contribution::describe(study.precision);
  out["complete"] = complete;
  out["levels"] = levels_json(study, "H", &StudyLevel::H, "N", &StudyLevel::N);
  // NaN orders (entries without a trend) are written as null.
  out["extrapolated"] = study.extrapolated ? extrapolated_json("H", study.H, "N", study.N) : json(nullptr);
  return compact(out) + "\n";
}

std::string study_text(const StudyDescription& d, const Study& study) {
  const std::vector<Entry> entries = main_entries(study);
  std::string out = "Grid-refinement study: " + d.text + "\n";
  out += study.crack ? "Planar crack, kernel " + std::string(study.kernel == contribution::PlanarKernel::exact ? "exact" : "specified")
                     : "Inhomogeneity, " + std::string(study.formulation == contribution::Formulation::stiffness
                                                           ? "stiffness formulation"
                                                           : "compliance formulation") +
                           " (rule " + contribution::describe(study.formulation_rule) + ", " +
                           contribution::describe(study.mean_field_estimate) + " mean)";
  out += "; shear order of rows and columns 4, 5, 6: " + shear_pairs(study.shear_order) + "\n\n";
  const RefinementTable table = refinement_table(study, &StudyLevel::H, study.H, entries);
  out += table_text(table);
  if (!table.extrapolated) return out;
  out += "Every entry of H and N with its error bar is in study.json.\n";
  return out;
}

std::string study_png(const StudyDescription& d, const Study& study) {
  return table_png("Grid refinement: " + d.text, refinement_table(study, &StudyLevel::H, study.H, main_entries(study)));
}

}  // namespace csolver::study_tool
