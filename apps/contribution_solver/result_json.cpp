#include "contribution_solver/result_json.h"

#include <nlohmann/json.hpp>

namespace csolver {

namespace {

// Keys in the order a reader looks for them, not sorted.
using json = nlohmann::ordered_json;

// Two-space indentation like dump(2), but each matrix row and each load case
// on one line, so that the file reads like the report.
std::string layout(const json& top) {
  std::string out = "{\n";
  bool first = true;
  for (const auto& [key, value] : top.items()) {
    if (!first) out += ",\n";
    first = false;
    out += "  " + json(key).dump() + ": ";
    if (value.is_array() && !value.empty() && value.front().is_structured()) {
      out += "[\n";
      for (std::size_t r = 0; r < value.size(); ++r) out += "    " + value[r].dump() + (r + 1 < value.size() ? ",\n" : "\n");
      out += "  ]";
    } else {
      out += value.dump();
    }
  }
  return out + "\n}\n";
}

template <class Matrix>
json rows(const Matrix& m) {
  json out = json::array();
  for (int r = 0; r < m.rows(); ++r) {
    json row = json::array();
    for (int c = 0; c < m.cols(); ++c) row.push_back(m(r, c));
    out.push_back(row);
  }
  return out;
}

json load_cases(const auto& statuses) {
  json out = json::array();
  int number = 1;
  for (const SolveStatus& s : statuses) {
    // Why BiCGSTAB stopped early, if it did; null for a normal end.
    const json breakdown = s.breakdown == Breakdown::none ? json(nullptr) : json(describe(s.breakdown));
    out.push_back({{"load_case", number++},
                   {"iterations", s.iterations},
                   {"error", s.error},
                   {"converged", s.converged},
                   {"breakdown", breakdown}});
  }
  return out;
}

json box(const BoxBounds& b, double h, bool crack) {
  json out = {{"offset", crack ? json::array({b.ix0, b.iy0}) : json::array({b.ix0, b.iy0, b.iz0})},
              {"extent", crack ? json::array({b.nx, b.ny}) : json::array({b.nx, b.ny, b.nz})}};
  // Coordinates of the first and last box node on the regular grid.
  json lower = json::array(), upper = json::array();
  const std::int32_t offsets[3] = {b.ix0, b.iy0, b.iz0};
  const std::int32_t extents[3] = {b.nx, b.ny, b.nz};
  for (int a = 0; a < (crack ? 2 : 3); ++a) {
    lower.push_back(-1 + offsets[a] * h);
    upper.push_back(-1 + (offsets[a] + extents[a] - 1) * h);
  }
  out["lower"] = lower;
  out["upper"] = upper;
  return out;
}

json common(const ProblemSetup& setup, double elapsed_seconds) {
  return {{"E0", setup.E0},
          {"n0", setup.n0},
          {"G0", setup.G0},
          {"E1", setup.E1},
          {"n1", setup.n1},
          {"G1", setup.G1},
          {"problem_type", setup.problem_type},
          {"function_text", setup.function_text},
          {"M", setup.M},
          {"h", setup.h},
          {"tol", setup.tol},
          {"elapsed_seconds", elapsed_seconds}};
}

}  // namespace

std::string inhomogeneity_result_json(const InhomogeneityRun& run, double elapsed_seconds) {
  json out = common(run.setup, elapsed_seconds);
  out["problem"] = "inhomogeneity";
  out["formulation"] = run.setup.formulation == Formulation::stiffness ? "stiffness" : "compliance";
  out["box"] = box(run.bounds, run.setup.h, false);
  out["convolution"] = layout_name(run.convolution);
  out["conv_flag"] = run.solution.conv_flag;
  out["symmetry_flag"] = run.tensors.symmetry_flag;
  out["load_cases"] = load_cases(run.solution.load_cases);
  // The report's mean_field: the solver's component order, entries below
  // MEAN_FLOOR set to zero, exactly the values printed under "Mean stress:".
  out["mean_field"] = rows(run.tensors.mean_field);
  out["H_tensor"] = rows(run.tensors.H_tensor);
  out["N_tensor"] = rows(run.tensors.N_tensor);
  return layout(out);
}

std::string crack_result_json(const ProblemSetup& setup, const CrackRun& run, double elapsed_seconds) {
  json out = common(setup, elapsed_seconds);
  out["problem"] = "crack";
  out["formulation"] = nullptr;  // the crack branch has none
  out["box"] = box(run.bounds, setup.h, true);
  out["convolution"] = layout_name(run.convolution);
  out["conv_flag"] = run.conv_flag;
  out["symmetry_flag"] = 1;  // as printed: the crack branch has no symmetry test
  out["load_cases"] = load_cases(run.load_cases);
  out["max_opening"] = rows(run.reductions.max_opening);
  out["H_tensor"] = rows(run.tensors.H_tensor);
  out["N_tensor"] = rows(run.tensors.N_tensor);
  return layout(out);
}

std::filesystem::path write_result_json(const Destination& destination, const ReportPaths& report,
                                        const std::string& json) {
  write_file_atomically(destination.dir / "result.json", json);
  // The copy's name was claimed exclusively a moment ago, so this name
  // belongs to this run as well.
  std::filesystem::path copy = report.copy;
  copy.replace_extension(".json");
  write_file_atomically(copy, json);
  return copy;
}

}  // namespace csolver
