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

template <std::size_t Rows, std::size_t Cols>
json rows(const std::array<std::array<double, Cols>, Rows>& m) {
  json out = json::array();
  for (const auto& row : m) out.push_back(json(row));
  return out;
}

json load_cases(const auto& statuses) {
  json out = json::array();
  int number = 1;
  for (const contribution::LoadCaseStatus& s : statuses) {
    // Why BiCGSTAB stopped early, if it did; null for a normal end.
    const json breakdown =
        s.breakdown == contribution::Breakdown::none ? json(nullptr) : json(contribution::describe(s.breakdown));
    out.push_back({{"load_case", number++},
                   {"iterations", s.iterations},
                   {"error", s.error},
                   {"converged", s.converged},
                   {"breakdown", breakdown}});
  }
  return out;
}

json box(const contribution::Box& b, double h, bool crack) {
  const int axes = crack ? 2 : 3;
  json offset = json::array(), extent = json::array(), lower = json::array(), upper = json::array();
  for (std::size_t a = 0; a < static_cast<std::size_t>(axes); ++a) {
    offset.push_back(b.offset[a]);
    extent.push_back(b.extent[a]);
    // Coordinates of the first and last box node on the regular grid.
    lower.push_back(-1 + b.offset[a] * h);
    upper.push_back(-1 + (b.offset[a] + b.extent[a] - 1) * h);
  }
  return {{"offset", offset}, {"extent", extent}, {"lower", lower}, {"upper", upper}};
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

std::string inhomogeneity_result_json(const ProblemSetup& setup, const contribution::InhomogeneityResult& result,
                                      double elapsed_seconds) {
  json out = common(setup, elapsed_seconds);
  out["problem"] = "inhomogeneity";
  out["formulation"] = result.formulation == contribution::Formulation::stiffness ? "stiffness" : "compliance";
  out["formulation_rule"] = contribution::describe(result.formulation_rule);
  out["mean_field_estimate"] = contribution::describe(result.mean_field_estimate);
  out["box"] = box(result.box, setup.h, false);
  out["convolution"] = contribution::describe(result.spectra);
  out["precision"] = contribution::describe(result.precision);
  out["conv_flag"] = result.conv_flag;
  out["symmetry_flag"] = result.symmetry_flag;
  out["load_cases"] = load_cases(result.load_cases);
  // The report's mean_field: the solver's component order, entries below
  // 1e-6 set to zero, exactly the values printed under "Mean stress:".
  out["mean_field"] = rows(result.mean_field);
  out["H_tensor"] = rows(result.H);
  out["N_tensor"] = rows(result.N);
  return layout(out);
}

std::string crack_result_json(const ProblemSetup& setup, const contribution::CrackResult& result,
                              double elapsed_seconds) {
  json out = common(setup, elapsed_seconds);
  out["problem"] = "crack";
  out["formulation"] = nullptr;  // the crack branch has none
  out["kernel"] = result.kernel == contribution::PlanarKernel::exact ? "exact" : "specified";
  out["box"] = box(result.box, setup.h, true);
  out["convolution"] = contribution::describe(result.spectra);
  out["precision"] = contribution::describe(result.precision);
  out["conv_flag"] = result.conv_flag;
  out["symmetry_flag"] = 1;  // as printed: the crack branch has no symmetry test
  out["load_cases"] = load_cases(result.load_cases);
  out["max_opening"] = rows(result.max_opening);
  out["H_tensor"] = rows(result.H);
  out["N_tensor"] = rows(result.N);
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
