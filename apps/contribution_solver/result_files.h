#pragma once
// Writing the result files so that a failed or interrupted run never leaves a
// half-written one: each file is written under a temporary name in its own
// directory and renamed (or linked) into place once complete.
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace csolver {

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct Destination {
  std::filesystem::path dir;          // holds result.txt
  std::filesystem::path results_dir;  // holds the time-stamped copies
};

// Creates `results` if missing and proves that both directories take new
// files, before any long computation depends on it.
Destination prepare_destination(const std::filesystem::path& dir);

// Writes all of `content` to the open file `fd` and syncs it; a short or
// failed write (a full disk) throws OutputError naming `target`.
void write_fully(int fd, const std::string& content, const std::filesystem::path& target);

// Replaces `path` by a file holding `content`, atomically.
void write_file_atomically(const std::filesystem::path& path, const std::string& content);

// Writes `content` to dir/stem + ext, or, if that exists, to stem_2 + ext,
// stem_3 + ext, ...; never replaces an existing file. Returns the path used.
std::filesystem::path write_new_file(const std::filesystem::path& dir, const std::string& stem,
                                     const std::string& ext, const std::string& content);

std::string join_lines(const std::vector<std::string>& lines);

struct ReportPaths {
  std::filesystem::path result;
  std::filesystem::path copy;
};

// result.txt first, then the copy, named after the time once result.txt is complete.
ReportPaths write_report(const Destination& destination, const std::vector<std::string>& lines);

}  // namespace csolver
