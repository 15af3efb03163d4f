#include "contribution_solver/report.h"

#include "contribution_solver/fortran_format.h"

namespace csolver {

namespace {
// Free-format lines start with one blank; empty lines carry nothing.
std::string free_format(const std::string& text) { return " " + text; }

template <class Matrix>
void add_matrix_rows(std::vector<std::string>& lines, const Matrix& m) {
  for (int r = 0; r < m.rows(); ++r) {
    std::string row;
    for (int c = 0; c < m.cols(); ++c) row += format_fixed(m(r, c), 12, 4);
    lines.push_back(row);
  }
}

void add_head(std::vector<std::string>& lines, const std::string& convergence, int symmetry, double elapsed,
              const ProblemSetup& setup) {
  lines.push_back(free_format(convergence));
  lines.push_back(free_format("Symmetry:"));
  lines.push_back(format_integer(symmetry, 5));
  lines.push_back("");
  lines.push_back(free_format("Elapsed time:"));
  lines.push_back(format_fixed(elapsed, 10, 3) + " s");
  lines.push_back("");
  lines.push_back(free_format("Matrix properties:"));
  lines.push_back(" E0=" + format_fixed(setup.E0, 10, 4));
  lines.push_back(" n0=" + format_fixed(setup.n0, 10, 4));
  lines.push_back(" G0=" + format_fixed(setup.G0, 10, 4));
}

void add_function_and_intervals(std::vector<std::string>& lines, const ProblemSetup& setup) {
  lines.push_back(free_format("Inhomogeneity function:"));
  lines.push_back(free_format(setup.function_text));
  lines.push_back(free_format("Number of discretization intervals:"));
  lines.push_back(format_integer(setup.N - 1, 5));
  lines.push_back("");
}

void add_tensors(std::vector<std::string>& lines, const Matrix6& H, const Matrix6& N) {
  lines.push_back(free_format("Compliance contribution tensor:"));
  add_matrix_rows(lines, H);
  lines.push_back(free_format("Stiffness contribution tensor:"));
  add_matrix_rows(lines, N);
}
}  // namespace

std::vector<std::string> inhomogeneity_report_lines(const ProblemSetup& setup, const InhomogeneityTensors& tensors,
                                                    int conv_flag, double elapsed_seconds) {
  std::vector<std::string> lines;
  add_head(lines, conv_flag == 1 ? "Convergence correct. " : "Solution may not converge correctly.",
           tensors.symmetry_flag, elapsed_seconds, setup);
  lines.push_back(free_format("Inhomogeneity properties:"));
  lines.push_back(" E1=" + format_fixed(setup.E1, 10, 4));
  lines.push_back(" n1=" + format_fixed(setup.n1, 10, 4));
  lines.push_back(" G1=" + format_fixed(setup.G1, 10, 4));
  add_function_and_intervals(lines, setup);
  lines.push_back(free_format("Mean stress:"));
  add_matrix_rows(lines, tensors.mean_field);
  lines.push_back("");
  add_tensors(lines, tensors.H_tensor, tensors.N_tensor);
  return lines;
}

std::vector<std::string> crack_report_lines(const ProblemSetup& setup, const Matrix3& max_opening,
                                            const CrackTensors& tensors, int conv_flag, double elapsed_seconds) {
  std::vector<std::string> lines;
  // The crack branch has no symmetry test: its indicator is always 1.
  add_head(lines, conv_flag == 1 ? "Convergence correct." : "Solution may not converge correctly.", 1,
           elapsed_seconds, setup);
  lines.push_back("");
  add_function_and_intervals(lines, setup);
  lines.push_back(free_format("Maximal crack opening:"));
  add_matrix_rows(lines, max_opening);
  lines.push_back("");
  add_tensors(lines, tensors.H_tensor, tensors.N_tensor);
  return lines;
}

}  // namespace csolver
