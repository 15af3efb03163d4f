#pragma once
// What contribution_study writes: study.json (every level and the
// extrapolation, at full precision), study.txt (the table the console shows)
// and study.png (the main entries against h with their fits).
#include "contribution/study.h"
#include "contribution_study/refinement_table.h"

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace csolver::study_tool {

// The problem beside the study's own record, for the files.
struct StudyDescription {
  std::string text;  // the shape, as contribution_input describes it
  double E0 = 1, n0 = 0.3, E1 = 1, n1 = 0.3, tol = 1e-6;
  std::uint64_t seed = 1;  // of the shifts' offsets (Study::shifts > 1)
};

// The diagonal and the normal couplings of H (the crack's three openings),
// leaving out entries that are zero at every level.
std::vector<Entry> main_entries(const contribution::Study& study);

// The shear pairs of rows and columns 4, 5, 6: "23, 13, 12" or "12, 13, 23".
std::string shear_pairs(contribution::ShearOrder order);

// Two-space indentation, a matrix row or a level's iterations on one line.
std::string format_json(const nlohmann::ordered_json& value);

// `complete`: false when the study was stopped before its last level.
std::string study_json(const StudyDescription& description, const contribution::Study& study, bool complete);
std::string study_text(const StudyDescription& description, const contribution::Study& study);
// Needs an extrapolated study (three levels or more).
std::string study_png(const StudyDescription& description, const contribution::Study& study);

}  // namespace csolver::study_tool
