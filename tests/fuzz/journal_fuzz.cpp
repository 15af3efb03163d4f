// libFuzzer target: the pore journal reader must turn any bytes into what can
// be believed of them, never a crash, a hang or undefined behaviour; and
// what it believes must be consistent with the text.
#include "contribution_pores/journal.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const csolver::pores::JournalContents c = csolver::pores::read_journal_text(text);
  if (c.valid_bytes + c.torn_bytes != size || c.total_bytes != size) __builtin_trap();
  if (!c.has_parameters && (!c.pores.empty() || !c.verified_lines.empty())) __builtin_trap();
  if (c.has_parameters && c.verified_lines.size() != c.pores.size() + 1) __builtin_trap();
  if (c.first_record_damaged() != (!c.has_parameters && size > 0)) __builtin_trap();
  // Every verified line is framed again to itself: nothing was believed that
  // its checks do not hold.
  std::size_t verified_bytes = 0;
  for (const std::string& line : c.verified_lines) {
    const std::size_t space = line.find(' ', 9);
    if (space == std::string::npos || csolver::pores::journal_line(line.substr(space + 1, line.size() - space - 2)) != line)
      __builtin_trap();
    verified_bytes += line.size();
  }
  if (verified_bytes > c.valid_bytes) __builtin_trap();
  // Damage lies inside the file; on a complete line unless the first record
  // itself is incomplete.
  for (const auto& d : c.damage)
    if (d.byte >= size || d.line == 0 || (d.byte >= c.valid_bytes && c.has_parameters)) __builtin_trap();
  return 0;
}
