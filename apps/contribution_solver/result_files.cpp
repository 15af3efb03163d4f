#include "contribution_solver/result_files.h"

#include "contribution_solver/clock.h"

namespace csolver {

namespace fs = std::filesystem;

Destination prepare_destination(const fs::path& dir) {
  Destination destination{dir, dir / "results"};
  std::error_code error;
  fs::create_directory(destination.results_dir, error);
  if (error) throw OutputError("cannot create the directory " + destination.results_dir.string() + ": " + error.message());
  if (!fs::is_directory(destination.results_dir))
    throw OutputError(destination.results_dir.string() + " exists but is not a directory");
  probe_writable(destination.dir);
  probe_writable(destination.results_dir);
  return destination;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

ReportPaths write_report(const Destination& destination, const std::vector<std::string>& lines) {
  const std::string text = join_lines(lines);
  ReportPaths paths;
  paths.result = destination.dir / "result.txt";
  write_file_atomically(paths.result, text);
  const std::string stem = "result_" + timestamp_for_file_name(std::chrono::system_clock::now());
  paths.copy = write_new_file(destination.results_dir, stem, ".txt", text);
  return paths;
}

}  // namespace csolver
