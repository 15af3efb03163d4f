#include "contribution_study/conduction_files.h"

#include "contribution_study/study_files.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace csolver::study_tool {

namespace {

using json = nlohmann::ordered_json;
using contribution::ConductivityStudy;
using contribution::ConductivityStudyLevel;

// JSON has no infinity: a perfect conductor's k1 is the string "inf".
json conductivity_value(double k) { return std::isinf(k) ? json("inf") : json(k); }

// The diagonal and the couplings of R, leaving out entries zero at every
// level (a crack's R has only R33).
std::vector<Entry> main_entries(const ConductivityStudy& study) {
  static const std::array<std::array<std::size_t, 2>, 6> order = {{{0, 0}, {1, 1}, {2, 2}, {0, 1}, {0, 2}, {1, 2}}};
  std::vector<Entry> entries;
  for (const auto& [r, c] : order) {
    const bool nonzero = std::any_of(study.levels.begin(), study.levels.end(),
                                     [&](const ConductivityStudyLevel& level) { return level.R[r][c] != 0; });
    if (nonzero) entries.push_back({r, c, entry_name('R', r, c)});
  }
  return entries;
}

std::string describe_method(const ConductivityStudy& study) {
  if (study.crack) return "Insulating planar crack (normal z), potential-jump unknown, smoothed estimate";
  return std::string("Inhomogeneity, ") + contribution::describe(study.formulation) + " formulation, " +
         (study.mean == contribution::ConductivityMean::nodal ? "nodal" : "smoothed") + " mean";
}

}  // namespace

std::string conduction_json(const ConductionDescription& d, const ConductivityStudy& study, bool complete) {
  json out;
  out["physics"] = "conductivity";
  out["problem"] = study.crack ? "crack" : "inhomogeneity";
  out["text"] = d.text;
  out["formulation"] = contribution::describe(study.formulation);
  out["mean"] = study.mean == contribution::ConductivityMean::nodal ? "nodal" : "smoothed";
  out["materials"] = study.crack ? json{{"k0", d.k0}} : json{{"k0", d.k0}, {"k1", conductivity_value(d.k1)}};
  out["tol"] = d.tol;
  out["distance_margin"] = study.distance_margin;
  out["complete"] = complete;
  out["levels"] = levels_json(study, "R", &ConductivityStudyLevel::R, "K", &ConductivityStudyLevel::K);
  out["extrapolated"] = study.extrapolated ? extrapolated_json("R", study.R, "K", study.K) : json(nullptr);
  if (d.cross_property) {
    const CrossProperty& x = *d.cross_property;
    json ratios = json::array();
    for (std::size_t i = 0; i < x.H33.size() && i < study.levels.size(); ++i)
      ratios.push_back({{"M", study.levels[i].M}, {"H33", x.H33[i]}, {"R33", study.levels[i].R[2][2]},
                        {"ratio", x.H33[i] / study.levels[i].R[2][2]}});
    out["cross_property"] = {{"materials", {{"E0", x.E0}, {"n0", x.n0}}},
                             {"levels", ratios},
                             {"H33", x.H33_limit.value},
                             {"H33_error", x.H33_limit.error},
                             {"ratio", x.ratio.value},
                             {"ratio_error", x.ratio.error},
                             {"closed_form", x.closed_form},
                             {"relation", "H33 / R33 = 2 (1 - n0^2) k0 / E0 for every crack"}};
  }
  return format_json(out) + "\n";
}

std::string conduction_text(const ConductionDescription& d, const ConductivityStudy& study) {
  const std::vector<Entry> entries = main_entries(study);
  std::string out = "Grid-refinement study (conductivity): " + d.text + "\n" + describe_method(study) + "\n\n";
  const RefinementTable table = refinement_table(study, &ConductivityStudyLevel::R, study.R, entries);
  out += table_text(table);
  if (!table.extrapolated) return out;
  out += "R = -K / k0^2; every entry of R and K with its error bar is in study.json.\n";
  if (d.cross_property) {
    const CrossProperty& x = *d.cross_property;
    char line[256];
    std::snprintf(line, sizeof line,
                  "Cross-property (E0 = %g, n0 = %g): H33 = %.6g +- %.3g; H33/R33 = %.8g +- %.2g "
                  "(2 (1 - n0^2) k0 / E0 = %.8g)\n",
                  x.E0, x.n0, x.H33_limit.value, x.H33_limit.error, x.ratio.value, x.ratio.error, x.closed_form);
    out += line;
  }
  return out;
}

std::string conduction_png(const ConductionDescription& d, const ConductivityStudy& study) {
  return table_png("Grid refinement (conductivity): " + d.text,
                   refinement_table(study, &ConductivityStudyLevel::R, study.R, main_entries(study)));
}

}  // namespace csolver::study_tool
