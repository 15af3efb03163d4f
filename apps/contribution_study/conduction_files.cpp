#include "contribution_study/conduction_files.h"

#include "contribution_study/study_files.h"
#include "drawing/plot.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace csolver::study_tool {

namespace {

using json = nlohmann::ordered_json;
using contribution::ConductivityStudy;
using contribution::ConductivityStudyLevel;

json rows(const contribution::Tensor3& m) {
  json out = json::array();
  for (const auto& row : m) out.push_back(json(row));
  return out;
}

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
    char name[8];
    std::snprintf(name, sizeof name, "R%zu%zu", r + 1, c + 1);
    if (nonzero) entries.push_back({r, c, name});
  }
  return entries;
}

std::string describe_method(const ConductivityStudy& study) {
  if (study.crack) return "Insulating planar crack (normal z), potential-jump unknown, smoothed estimate";
  return std::string("Inhomogeneity, ") + contribution::describe(study.formulation) + " formulation, " +
         (study.mean == contribution::ConductivityMean::nodal ? "nodal" : "smoothed") + " mean";
}

contribution::Extrapolation entry_extrapolation(const ConductivityStudy& study, const Entry& e) {
  std::vector<double> h, values;
  for (const ConductivityStudyLevel& level : study.levels) {
    h.push_back(level.h);
    values.push_back(level.R[e.row][e.column]);
  }
  return contribution::extrapolate(h, values, study.distance_margin);
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
  json levels = json::array();
  for (const ConductivityStudyLevel& level : study.levels) {
    json iterations = json::array();
    for (const contribution::LoadCaseStatus& s : level.load_cases) iterations.push_back(s.iterations);
    levels.push_back({{"M", level.M},
                      {"h", level.h},
                      {"iterations", iterations},
                      {"conv_flag", level.conv_flag},
                      {"elapsed_seconds", level.elapsed_seconds},
                      {"R_tensor", rows(level.R)},
                      {"K_tensor", rows(level.K)}});
  }
  out["levels"] = levels;
  if (study.extrapolated) {
    out["extrapolated"] = {{"order", study.R.dominant_order},
                           {"R_tensor", rows(study.R.value)},
                           {"R_error", rows(study.R.error)},
                           {"R_order", rows(study.R.order)},
                           {"K_tensor", rows(study.K.value)},
                           {"K_error", rows(study.K.error)}};
  } else {
    out["extrapolated"] = nullptr;
  }
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
  out += "     M          h";
  for (const Entry& e : entries) out += std::string(12 - std::min<std::size_t>(12, e.name.size()), ' ') + e.name;
  out += "  conv  iterations (load cases)  seconds\n";
  for (const ConductivityStudyLevel& level : study.levels) {
    char head[32];
    std::snprintf(head, sizeof head, "%6d %10.6f", level.M, level.h);
    out += head;
    for (const Entry& e : entries) {
      char cell[32];
      std::snprintf(cell, sizeof cell, "%12.6f", level.R[e.row][e.column]);
      out += cell;
    }
    std::string iterations;
    for (const contribution::LoadCaseStatus& s : level.load_cases) {
      iterations += ' ';
      iterations += std::to_string(s.iterations);
    }
    char tail[96];
    std::snprintf(tail, sizeof tail, "%6d  %-24s %8.2f\n", level.conv_flag, iterations.c_str(), level.elapsed_seconds);
    out += tail;
  }
  if (!study.extrapolated) return out + "\n(three levels or more are needed for an extrapolation)\n";
  out += "\nExtrapolated to h = 0 (the converged value lies within the error bar):\n";
  for (const Entry& e : entries) {
    const double value = study.R.value[e.row][e.column], error = study.R.error[e.row][e.column];
    const double order = study.R.order[e.row][e.column], finest = study.levels.back().R[e.row][e.column];
    char order_text[16] = "-";
    if (!std::isnan(order)) std::snprintf(order_text, sizeof order_text, "%.2f", order);
    char line[200];
    std::snprintf(line, sizeof line, "  %-5s %12.6g +- %-10.4g (%5.2f %%)  order %-5s  finest level %12.6g (%+.2f %%)\n",
                  e.name.c_str(), value, error, value != 0 ? 100 * error / std::abs(value) : 0.0, order_text, finest,
                  value != 0 ? 100 * (finest - value) / std::abs(value) : 0.0);
    out += line;
  }
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
  const std::vector<Entry> entries = main_entries(study);
  drawing::PlotFigure figure;
  figure.title = "Grid refinement (conductivity): " + d.text;
  figure.columns = entries.size() <= 3 ? static_cast<std::int32_t>(entries.size()) : 3;
  const double h_max = study.levels.front().h;
  for (const Entry& e : entries) {
    drawing::PlotPanel panel;
    panel.title = e.name;
    panel.x_label = "h = 2/M";
    panel.y_label = e.name;
    drawing::Series levels;
    levels.legend = "levels";
    for (const ConductivityStudyLevel& level : study.levels) levels.points.push_back({level.h, level.R[e.row][e.column]});
    const contribution::Extrapolation x = entry_extrapolation(study, e);
    if (const contribution::ModelFit* model = drawn_model(x)) {
      drawing::Series curve;
      curve.style = drawing::Series::Style::line;
      curve.colour = {40, 90, 200};
      curve.legend = "fit";
      panel.title += ": " + std::string(contribution::describe(model->model));
      constexpr int SAMPLES = 60;
      for (int i = 0; i <= SAMPLES; ++i) {
        const double h = h_max * i / SAMPLES;
        curve.points.push_back({h, contribution::evaluate(*model, h)});
      }
      panel.series.push_back(curve);
    }
    panel.series.push_back(levels);
    panel.error_bars.push_back({0.0, study.R.value[e.row][e.column], study.R.error[e.row][e.column], {200, 40, 40}, "h -> 0"});
    figure.panels.push_back(panel);
  }
  const std::int32_t rows = static_cast<std::int32_t>((entries.size() + 2) / 3);
  return drawing::plot_png(figure, 1200, 80 + 360 * rows);
}

}  // namespace csolver::study_tool
