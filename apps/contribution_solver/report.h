#pragma once
// The report's lines, for both branches: the same text goes to result.txt and
// to the time-stamped copy.
#include "model/problem_setup.h"
#include "tensors/crack_results.h"
#include "tensors/inhomogeneity_results.h"

#include <string>
#include <vector>

namespace csolver {

std::vector<std::string> inhomogeneity_report_lines(const ProblemSetup& setup, const InhomogeneityTensors& tensors,
                                                    int conv_flag, double elapsed_seconds);

std::vector<std::string> crack_report_lines(const ProblemSetup& setup, const Matrix3& max_opening,
                                            const CrackTensors& tensors, int conv_flag, double elapsed_seconds);

}  // namespace csolver
