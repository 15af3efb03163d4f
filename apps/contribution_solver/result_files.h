#pragma once
// The report's files: result.txt and its time-stamped copy in results/,
// both written atomically.
#include "files/atomic_file.h"

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace csolver {

struct Destination {
  std::filesystem::path dir;          // holds result.txt
  std::filesystem::path results_dir;  // holds the time-stamped copies
};

// Creates `results` if missing and proves that both directories take new
// files, before any long computation depends on it.
Destination prepare_destination(const std::filesystem::path& dir);

std::string join_lines(const std::vector<std::string>& lines);

struct ReportPaths {
  std::filesystem::path result;
  std::filesystem::path copy;
};

// result.txt first, then the copy, named after the time once result.txt is complete.
ReportPaths write_report(const Destination& destination, const std::vector<std::string>& lines);

}  // namespace csolver
