#pragma once
// Writing result files so that a failed or interrupted run never leaves a
// half-written one: each file is written under a temporary name in its own
// directory and renamed (or linked) into place once complete. Shared by the
// front ends; a front end's signal handler removes the temporary file in
// flight through remove_temporary_file_in_flight().
#include <filesystem>
#include <stdexcept>
#include <string>

namespace csolver {

class OutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes all of `content` to the open file `fd` and syncs it; a short or
// failed write (a full disk) throws OutputError naming `target`.
void write_fully(int fd, const std::string& content, const std::filesystem::path& target);

// Replaces `path` by a file holding `content`, atomically.
void write_file_atomically(const std::filesystem::path& path, const std::string& content);

// Writes `content` to dir/stem + ext, or, if that exists, to stem_2 + ext,
// stem_3 + ext, ...; never replaces an existing file. Returns the path used.
std::filesystem::path write_new_file(const std::filesystem::path& dir, const std::string& stem,
                                     const std::string& ext, const std::string& content);

// Proves that `dir` takes new files, by creating and removing one.
void probe_writable(const std::filesystem::path& dir);

// For signal handlers: unlinks the temporary file being written, if any,
// with nothing but async-signal-safe calls.
void remove_temporary_file_in_flight() noexcept;

}  // namespace csolver
