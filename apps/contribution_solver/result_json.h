#pragma once
// result.json: every result of a run at full precision, for scripts. The
// report prints four decimals, which shows nothing but zeros once the elastic
// constants carry physical units; this file keeps the same numbers unrounded.
#include "contribution_solver/result_files.h"
#include "contribution/solve.h"
#include "model/problem_setup.h"

#include <filesystem>
#include <string>

namespace csolver {

std::string inhomogeneity_result_json(const ProblemSetup& setup, const contribution::InhomogeneityResult& result,
                                      double elapsed_seconds);
std::string crack_result_json(const ProblemSetup& setup, const contribution::CrackResult& result,
                              double elapsed_seconds);

// Writes dir/result.json and, beside the report's time-stamped copy, a file of
// the copy's stem with extension .json (result_20261210_101500_2.json goes
// with result_20261210_101500_2.txt). Returns the path of the second file.
std::filesystem::path write_result_json(const Destination& destination, const ReportPaths& report,
                                        const std::string& json);

}  // namespace csolver
