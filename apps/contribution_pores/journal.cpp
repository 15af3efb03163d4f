#include "contribution_pores/journal.h"

#include "files/atomic_file.h"

#include <zlib.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

namespace csolver::pores {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

std::uint32_t crc_of(const std::string& payload) {
  uLong crc = crc32(0L, Z_NULL, 0);
  const auto* bytes = reinterpret_cast<const Bytef*>(payload.data());
  std::size_t left = payload.size();
  while (left > 0) {  // zlib takes 32-bit lengths
    const auto chunk = static_cast<uInt>(std::min<std::size_t>(left, 1u << 30));
    crc = crc32(crc, bytes, chunk);
    bytes += chunk;
    left -= chunk;
  }
  return static_cast<std::uint32_t>(crc);
}

// The payload of one complete line (without its newline), if both checks hold.
std::optional<std::string> payload_of(std::string_view line) {
  const std::size_t first = line.find(' ');
  if (first != 8) return std::nullopt;
  const std::size_t second = line.find(' ', first + 1);
  if (second == std::string_view::npos) return std::nullopt;
  std::uint32_t crc = 0;
  if (std::from_chars(line.data(), line.data() + 8, crc, 16).ptr != line.data() + 8) return std::nullopt;
  std::size_t length = 0;
  const char* length_end = line.data() + second;
  if (std::from_chars(line.data() + first + 1, length_end, length).ptr != length_end) return std::nullopt;
  std::string payload(line.substr(second + 1));
  if (payload.size() != length || crc_of(payload) != crc) return std::nullopt;
  // Only the form this program writes (lower-case hex, no leading zeros):
  // any other spelling of the same numbers was not written by it.
  char head[32];
  const int head_size = std::snprintf(head, sizeof head, "%08x %zu ", static_cast<unsigned>(crc), length);
  if (line.substr(0, second + 1) != std::string_view(head, static_cast<std::size_t>(head_size))) return std::nullopt;
  return payload;
}

int lock_or_throw(int fd, const fs::path& file) {
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    close(fd);
    if (error == EWOULDBLOCK)
      throw JournalError(file.string() + " is in use by another run (it holds the journal's lock)");
    throw OutputError("cannot lock " + file.string() + ": " + std::strerror(error));
  }
  return fd;
}

}  // namespace

std::string journal_line(const std::string& payload) {
  char head[32];
  std::snprintf(head, sizeof head, "%08x %zu ", static_cast<unsigned>(crc_of(payload)), payload.size());
  return head + payload + "\n";
}

JournalContents read_journal(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    std::error_code error;
    if (fs::exists(file, error)) throw JournalError("cannot read " + file.string());
    return {};
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw JournalError("cannot read " + file.string());
  return read_journal_text(text);
}

JournalContents read_journal_text(const std::string& text) {
  JournalContents contents;
  contents.exists = true;
  contents.total_bytes = text.size();
  std::size_t at = 0, line = 0;
  while (at < text.size()) {
    const std::size_t end = text.find('\n', at);
    if (end == std::string::npos) break;  // a line without its newline was cut short
    ++line;
    const std::string_view framed = std::string_view(text).substr(at, end - at);
    std::string reason;
    const std::optional<std::string> payload = payload_of(framed);
    if (!payload) {
      reason = "fails its length or CRC check";
    } else {
      try {
        if (!contents.has_parameters) {
          json parameters = json::parse(*payload);
          if (!parameters.is_object()) throw std::runtime_error("not an object");
          contents.parameters = std::move(parameters);
          contents.has_parameters = true;
        } else {
          PoreResult r = decode_result(*payload);
          if (r.status == PoreStatus::cancelled) throw std::runtime_error("a cancelled pore");
          contents.pores.push_back(std::move(r));
        }
        contents.verified_lines.emplace_back(text, at, end + 1 - at);
      } catch (const std::exception& e) {
        reason = std::string("is well framed but not a record of this program (") + e.what() + ")";
      }
    }
    if (!reason.empty()) contents.damage.push_back({line, at, reason});
    at = end + 1;
    // Without the run's parameters no record can be tied to a run.
    if (!contents.has_parameters) break;
  }
  if (!contents.has_parameters) {
    contents.pores.clear();
    contents.verified_lines.clear();
    if (contents.damage.empty() && !text.empty()) contents.damage.push_back({1, 0, "is incomplete"});
  }
  contents.valid_bytes = at;
  contents.torn_bytes = text.size() - at;
  return contents;
}

std::string describe_damage(const JournalDamage& damage) {
  return "line " + std::to_string(damage.line) + " (byte " + std::to_string(damage.byte) + ") " + damage.reason;
}

std::vector<std::string> parameter_differences(const json& here, const json& journal) {
  std::vector<std::string> differences;
  for (const auto& [key, value] : here.items()) {
    if (key == "information") continue;
    const auto found = journal.find(key);
    const std::string there = found == journal.end() ? std::string("absent") : found->dump();
    if (found == journal.end() || *found != value) differences.push_back(key + ": " + value.dump() + " here, " + there + " in the journal");
  }
  for (const auto& [key, value] : journal.items())
    if (key != "information" && !here.contains(key)) differences.push_back(key + ": absent here, " + value.dump() + " in the journal");
  return differences;
}

JournalWriter JournalWriter::create(const fs::path& file, const json& parameters) {
  write_file_atomically(file, journal_line(parameters.dump()));
  const int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) throw OutputError("cannot open " + file.string() + ": " + std::strerror(errno));
  return JournalWriter(file, lock_or_throw(fd, file));
}

JournalWriter JournalWriter::resume(const fs::path& file, std::uintmax_t valid_bytes) {
  const int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) throw OutputError("cannot open " + file.string() + ": " + std::strerror(errno));
  lock_or_throw(fd, file);
  // A torn tail goes before anything is appended, or the next record would
  // be glued to it and lost with it.
  if (ftruncate(fd, static_cast<off_t>(valid_bytes)) != 0 || fsync(fd) != 0) {
    const int error = errno;
    close(fd);
    throw OutputError("cannot truncate " + file.string() + ": " + std::strerror(error));
  }
  return JournalWriter(file, fd);
}

JournalWriter JournalWriter::rewrite(const fs::path& file, const std::vector<std::string>& verified_lines,
                                     const fs::path& damaged_copy) {
  std::ifstream in(file, std::ios::binary);
  const std::string original((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) throw OutputError("cannot read " + file.string());
  // Lock the journal before touching anything, so that a run holding it is
  // not disturbed; the lock moves to the rewritten file below.
  const int old_fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (old_fd < 0) throw OutputError("cannot open " + file.string() + ": " + std::strerror(errno));
  lock_or_throw(old_fd, file);
  std::string kept;
  for (const std::string& line : verified_lines) kept += line;
  try {
    write_file_atomically(damaged_copy, original);
    write_file_atomically(file, kept);
  } catch (...) {
    close(old_fd);
    throw;
  }
  close(old_fd);
  const int fd = open(file.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) throw OutputError("cannot open " + file.string() + ": " + std::strerror(errno));
  return JournalWriter(file, lock_or_throw(fd, file));
}

JournalWriter::JournalWriter(JournalWriter&& other) noexcept : file_(std::move(other.file_)), fd_(other.fd_) {
  other.fd_ = -1;
}

JournalWriter::~JournalWriter() {
  if (fd_ >= 0) close(fd_);
}

void JournalWriter::append(const PoreResult& result) {
  // One write of the whole line: O_APPEND puts it at the end in one piece,
  // and a kill mid-write leaves a tail that fails its checks.
  write_fully(fd_, journal_line(encode_result(result)), file_);
}

}  // namespace csolver::pores
