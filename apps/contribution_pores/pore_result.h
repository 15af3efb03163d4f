#pragma once
// What solving one pore gave, and its one-line record: the same text is a
// line of the journal and the message a worker rank sends back, so a result
// reads the same whichever way it arrived. Doubles are written as the
// shortest text that reads back to the same value, so a resumed or
// distributed run reproduces the numbers of a single uninterrupted one.
#include "contribution/types.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace csolver::pores {

enum class PoreStatus {
  solved,     // H and N hold the pore's tensors (converged or not: see conv_flag)
  failed,     // the pore could not be solved; `message` says why; the run goes on
  cancelled,  // the run was interrupted during this pore; never journaled
};

const char* status_name(PoreStatus status);

struct PoreResult {
  std::size_t index = 0;  // the pore's slot among the kept pores (label order)
  std::uint32_t label = 0;
  PoreStatus status = PoreStatus::failed;
  std::string message;
  std::int32_t M = 0;               // grid intervals the pore was solved on
  std::int64_t flagged_nodes = 0;   // grid nodes inside the pore
  // Per unit pore volume, rows and columns 11, 22, 33, 23, 13, 12 with
  // engineering shear strains: the compliance formulation's printed order.
  contribution::Tensor6 H{};
  contribution::Tensor6 N{};
  // On a ladder of grids (levels, M increasing; empty for one grid): H and
  // N are the extrapolated limits and H_error the half-width of each
  // entry's bar; zero on one grid, which has no bar.
  std::vector<std::int32_t> levels;
  contribution::Tensor6 H_error{};
  std::array<int, 6> iterations{};  // per load case, the most of any level
  int conv_flag = 0;
  int symmetry_flag = 0;
  double seconds = 0;  // wall time of its solves where they ran, the levels' added (side by side they overlap)
};

class RecordError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One line of compact JSON, without a newline.
std::string encode_result(const PoreResult& result);
// Throws RecordError for text that is not such a record.
PoreResult decode_result(const std::string& text);

}  // namespace csolver::pores
