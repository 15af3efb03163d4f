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
// when it is complete and both checks hold. A write cut short by a kill
// leaves a torn tail (a last line without its newline), which reading drops
// and resuming truncates. A complete line that fails its checks is damage
// (a flipped bit, an edit): it is reported with its position, never dropped
// in silence; every other record still stands on its own checks.
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

// A complete line that failed its checks.
struct JournalDamage {
  std::size_t line = 0;       // counted from 1
  std::uintmax_t byte = 0;    // where the line starts, counted from 0
  std::string reason;
};

struct JournalContents {
  bool exists = false;
  bool has_parameters = false;  // false: no verified first record
  nlohmann::ordered_json parameters;
  std::vector<PoreResult> pores;   // the verified records, in the order they were written
  std::vector<std::string> verified_lines;  // their framed lines, the parameters first
  std::vector<JournalDamage> damage;        // complete lines that failed their checks
  std::uintmax_t valid_bytes = 0;  // up to the end of the last complete line
  std::uintmax_t torn_bytes = 0;   // what follows it
  std::uintmax_t total_bytes = 0;

  // The first record is damaged: nothing in the journal can be tied to a run.
  bool first_record_damaged() const { return !has_parameters && total_bytes > 0; }
};

// Reads what can be believed. A missing file gives exists = false.
JournalContents read_journal(const std::filesystem::path& file);
// The same for a journal's text (exists = true).
JournalContents read_journal_text(const std::string& text);
// "line 3 (byte 812): fails its CRC check"
std::string describe_damage(const JournalDamage& damage);

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
  // Continues a damaged journal: the original is kept beside it as
  // `damaged_copy`, and the journal is rewritten (atomically) with only
  // its verified lines.
  static JournalWriter rewrite(const std::filesystem::path& file, const std::vector<std::string>& verified_lines,
                               const std::filesystem::path& damaged_copy);

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
