#include "contribution_study/refinement_table.h"

#include "drawing/plot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace csolver::study_tool {

namespace {

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

std::vector<double> steps(const RefinementTable& table) {
  std::vector<double> h;
  for (const TableLevel& level : table.levels) h.push_back(level.h);
  return h;
}

}  // namespace

std::string entry_name(char tensor, std::size_t row, std::size_t column) {
  char name[48];
  std::snprintf(name, sizeof name, "%c%zu%zu", tensor, row + 1, column + 1);
  return name;
}

const contribution::ModelFit* drawn_model(const contribution::Extrapolation& e) {
  const contribution::ModelFit* best = nullptr;
  for (const contribution::ModelFit& m : e.models)
    if (m.plausible && (!best || std::abs(m.limit - e.value) < std::abs(best->limit - e.value))) best = &m;
  return best;
}

std::string table_text(const RefinementTable& table) {
  std::string out = "     M          h";
  for (const TableEntry& e : table.entries) out += std::string(12 - std::min<std::size_t>(12, e.name.size()), ' ') + e.name;
  out += "  conv  iterations (load cases)  seconds\n";
  for (std::size_t i = 0; i < table.levels.size(); ++i) {
    const TableLevel& level = table.levels[i];
    char head[32];
    std::snprintf(head, sizeof head, "%6d %10.6f", level.M, level.h);
    out += head;
    for (const TableEntry& e : table.entries) {
      char cell[32];
      std::snprintf(cell, sizeof cell, "%12.6f", e.values[i]);
      out += cell;
    }
    std::string iterations;
    for (int n : level.iterations) {
      iterations += ' ';
      iterations += std::to_string(n);
    }
    char tail[96];
    std::snprintf(tail, sizeof tail, "%6d  %-24s %8.2f\n", level.conv_flag, iterations.c_str(), level.seconds);
    out += tail;
  }
  if (!table.extrapolated) return out + "\n(three levels or more are needed for an extrapolation)\n";
  out += "\nExtrapolated to h = 0 (the converged value lies within the error bar):\n";
  for (const TableEntry& e : table.entries) {
    const double finest = e.values.back();
    char line[200];
    std::snprintf(line, sizeof line, "  %-5s %12.6f +- %-10s (%5.2f %%)  order %-5s  finest level %12.6f (%+.2f %%)\n",
                  e.name.c_str(), e.value, general(e.error).c_str(), e.value != 0 ? 100 * e.error / std::abs(e.value) : 0.0,
                  std::isnan(e.order) ? "-" : fixed(e.order, 2).c_str(), finest,
                  e.value != 0 ? 100 * (finest - e.value) / std::abs(e.value) : 0.0);
    out += line;
  }
  return out;
}

std::string table_png(const std::string& title, const RefinementTable& table) {
  drawing::PlotFigure figure;
  figure.title = title;
  figure.columns = table.entries.size() <= 3 ? static_cast<std::int32_t>(table.entries.size()) : 3;
  const std::vector<double> h = steps(table);
  const double h_max = h.front();
  for (const TableEntry& e : table.entries) {
    drawing::PlotPanel panel;
    panel.title = e.name;
    panel.x_label = "h = 2/M";
    panel.y_label = e.name;
    drawing::Series levels;
    levels.legend = "levels";
    for (std::size_t i = 0; i < h.size(); ++i) levels.points.push_back({h[i], e.values[i]});
    // The entry refitted alone, as the study fitted it, for its models' curves.
    const contribution::Extrapolation x = contribution::extrapolate(h, e.values, table.distance_margin);
    if (const contribution::ModelFit* model = drawn_model(x)) {
      drawing::Series curve;
      curve.style = drawing::Series::Style::line;
      curve.colour = {40, 90, 200};
      curve.legend = "fit";
      panel.title += ": " + std::string(contribution::describe(model->model));
      constexpr int SAMPLES = 60;
      for (int i = 0; i <= SAMPLES; ++i) {
        const double step = h_max * i / SAMPLES;
        curve.points.push_back({step, contribution::evaluate(*model, step)});
      }
      panel.series.push_back(curve);
    }
    panel.series.push_back(levels);
    panel.error_bars.push_back({0.0, e.value, e.error, {200, 40, 40}, "h -> 0"});
    figure.panels.push_back(panel);
  }
  const std::int32_t rows = static_cast<std::int32_t>((table.entries.size() + 2) / 3);
  return drawing::plot_png(figure, 1200, 80 + 360 * rows);
}

nlohmann::ordered_json level_json(const TableLevel& level) {
  return {{"M", level.M},
          {"h", level.h},
          {"iterations", level.iterations},
          {"conv_flag", level.conv_flag},
          {"elapsed_seconds", level.seconds}};
}

}  // namespace csolver::study_tool
