#pragma once
// The journal of a population run: DIR/pores.journal, one line per record,
// appended and synced as each pore finishes, so that a run stopped at any
// moment (a signal, a batch system's time limit, a power cut) can go on from
// where it was.
//
// Each line is
//     CRC LENGTH PAYLOAD\n
// with PAYLOAD one line of JSON, LENGTH its size in bytes (decimal) and CRC
// its CRC-32 (8 hex digits). The first record holds the run's parameters;
// every further one a finished pore (pore_result.h). A line is believed only
// when it is complete and both checks hold: a write cut short by a kill
// leaves a torn tail, which reading drops and resuming truncates. A record
// that fails its checks ends the journal there, since nothing after it can
// be trusted to be in order.
#include "contribution_pores/pore_result.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace csolver::pores {

inline constexpr const char* JOURNAL_NAME = "pores.journal";

// A journal that cannot be used: unreadable, or held by another run. Failed
// writes are OutputError (tools/files/atomic_file.h).
class JournalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The framed line of a payload (with its newline).
std::string journal_line(const std::string& payload);

struct JournalContents {
  bool exists = false;
  bool has_parameters = false;  // false: no complete first record (an empty journal)
  nlohmann::ordered_json parameters;
  std::vector<PoreResult> pores;   // in the order they were written
  std::uintmax_t valid_bytes = 0;  // length of the believed part
  std::uintmax_t torn_bytes = 0;   // what follows it
};

// Reads what can be believed. A missing file gives exists = false.
JournalContents read_journal(const std::filesystem::path& file);

// The parameters that differ, as "name: VALUE here, VALUE in the journal";
// the key "information" (file names, the selection's wording) is not compared.
std::vector<std::string> parameter_differences(const nlohmann::ordered_json& here, const nlohmann::ordered_json& journal);

// An open journal that records are appended to. Holds an exclusive lock on
// the file, so that a second run on the same directory is refused rather
// than interleaving its records.
class JournalWriter {
 public:
  // Starts a new journal holding only `parameters` (written whole under a
  // temporary name, then renamed), or, with `resume`, continues the existing
  // one after truncating it to `valid_bytes`.
  static JournalWriter create(const std::filesystem::path& file, const nlohmann::ordered_json& parameters);
  static JournalWriter resume(const std::filesystem::path& file, std::uintmax_t valid_bytes);

  JournalWriter(JournalWriter&& other) noexcept;
  JournalWriter& operator=(JournalWriter&&) = delete;
  JournalWriter(const JournalWriter&) = delete;
  ~JournalWriter();

  // One record, written by a single append and synced before returning.
  void append(const PoreResult& result);

 private:
  JournalWriter(std::filesystem::path file, int fd) : file_(std::move(file)), fd_(fd) {}
  std::filesystem::path file_;
  int fd_ = -1;
};

}  // namespace csolver::pores
