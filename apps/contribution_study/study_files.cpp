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

json rows(const contribution::Tensor6& m) {
  json out = json::array();
  for (const auto& row : m) out.push_back(json(row));
  return out;
}

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

std::string fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string general(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", value);
  return text;
}

double entry(const contribution::Tensor6& t, const Entry& e) { return t[e.row][e.column]; }

contribution::Extrapolation entry_extrapolation(const Study& study, const Entry& e) {
  std::vector<double> h, values;
  for (const StudyLevel& level : study.levels) {
    h.push_back(level.h);
    values.push_back(entry(level.H, e));
  }
  return contribution::extrapolate(h, values, study.distance_margin);
}

}  // namespace

// The plausible model whose limit lies nearest the extrapolated value: the
// curve a reader sees the levels follow.
const contribution::ModelFit* drawn_model(const contribution::Extrapolation& e) {
  const contribution::ModelFit* best = nullptr;
  for (const contribution::ModelFit& m : e.models)
    if (m.plausible && (!best || std::abs(m.limit - e.value) < std::abs(best->limit - e.value))) best = &m;
  return best;
}

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
    if (nonzero) entries.push_back({r, c, "H" + std::to_string(r + 1) + std::to_string(c + 1)});
  };
  if (study.crack) {
    for (const auto& rc : crack) consider(rc[0], rc[1]);
  } else {
    for (const auto& rc : volume) consider(rc[0], rc[1]);
  }
  // No contrast (E1 = E0, n1 = n0): every entry is zero; show the first one's zeros.
  if (entries.empty()) {
    const auto& first = study.crack ? crack[0] : volume[0];
    entries.push_back({first[0], first[1], "H" + std::to_string(first[0] + 1) + std::to_string(first[1] + 1)});
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
  json levels = json::array();
  for (const StudyLevel& level : study.levels) {
    json iterations = json::array();
    for (const contribution::LoadCaseStatus& s : level.load_cases) iterations.push_back(s.iterations);
    levels.push_back({{"M", level.M},
                      {"h", level.h},
                      {"iterations", iterations},
                      {"conv_flag", level.conv_flag},
                      {"elapsed_seconds", level.elapsed_seconds},
                      {"H_tensor", rows(level.H)},
                      {"N_tensor", rows(level.N)}});
  }
  out["levels"] = levels;
  if (study.extrapolated) {
    // NaN orders (entries without a trend) are written as null.
    out["extrapolated"] = {{"order", study.H.dominant_order},
                           {"H_tensor", rows(study.H.value)},
                           {"H_error", rows(study.H.error)},
                           {"H_order", rows(study.H.order)},
                           {"N_tensor", rows(study.N.value)},
                           {"N_error", rows(study.N.error)}};
  } else {
    out["extrapolated"] = nullptr;
  }
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
  out += "     M          h";
  for (const Entry& e : entries) out += std::string(12 - std::min<std::size_t>(12, e.name.size()), ' ') + e.name;
  out += "  conv  iterations (load cases)  seconds\n";
  for (const StudyLevel& level : study.levels) {
    char head[32];
    std::snprintf(head, sizeof head, "%6d %10.6f", level.M, level.h);
    out += head;
    for (const Entry& e : entries) {
      char cell[32];
      std::snprintf(cell, sizeof cell, "%12.6f", entry(level.H, e));
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
    const double value = entry(study.H.value, e), error = entry(study.H.error, e), order = entry(study.H.order, e);
    const double finest = entry(study.levels.back().H, e);
    char line[200];
    std::snprintf(line, sizeof line, "  %-5s %12.6f +- %-10s (%5.2f %%)  order %-5s  finest level %12.6f (%+.2f %%)\n",
                  e.name.c_str(), value, general(error).c_str(), value != 0 ? 100 * error / std::abs(value) : 0.0,
                  std::isnan(order) ? "-" : fixed(order, 2).c_str(), finest,
                  value != 0 ? 100 * (finest - value) / std::abs(value) : 0.0);
    out += line;
  }
  out += "Every entry of H and N with its error bar is in study.json.\n";
  return out;
}

std::string study_png(const StudyDescription& d, const Study& study) {
  const std::vector<Entry> entries = main_entries(study);
  drawing::PlotFigure figure;
  figure.title = "Grid refinement: " + d.text;
  figure.columns = entries.size() <= 3 ? static_cast<std::int32_t>(entries.size()) : 3;
  const double h_max = study.levels.front().h;
  for (const Entry& e : entries) {
    drawing::PlotPanel panel;
    panel.title = e.name;
    panel.x_label = "h = 2/M";
    panel.y_label = e.name;
    drawing::Series levels;
    levels.legend = "levels";
    for (const StudyLevel& level : study.levels) levels.points.push_back({level.h, entry(level.H, e)});
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
    panel.error_bars.push_back({0.0, entry(study.H.value, e), entry(study.H.error, e), {200, 40, 40}, "h -> 0"});
    figure.panels.push_back(panel);
  }
  const std::int32_t rows = static_cast<std::int32_t>((entries.size() + 2) / 3);
  return drawing::plot_png(figure, 1200, 80 + 360 * rows);
}

}  // namespace csolver::study_tool
