#pragma once
// Handing the pores to whoever solves them: in this process one after the
// other (serial), or to worker ranks under MPI (mpi_schedule.h). Either way
// rank 0 records each result as it arrives: into its slot, into the journal,
// and as a progress line.
#include "contribution_pores/journal.h"
#include "contribution_pores/population.h"

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace csolver::pores {

class Recorder {
 public:
  // `to_solve` pores are left of the population; the others came from the journal.
  Recorder(std::FILE* out, JournalWriter& journal, const Population& population, std::vector<std::optional<PoreResult>>& slots,
           std::size_t to_solve);

  // Journals a finished pore (solved or failed), fills its slot and prints
  // its line; `rank` is the process that solved it (0 for a serial run).
  void record(const PoreResult& result, int rank);
  std::size_t done() const { return done_; }  // in this session

 private:
  std::FILE* out_;
  JournalWriter& journal_;
  const Population& population_;
  std::vector<std::optional<PoreResult>>& slots_;
  std::size_t to_solve_;
  std::size_t done_ = 0;
  double start_;
};

// The pores of `order`, one after the other in this process. Returns false
// when a stop signal ended it early.
bool solve_serially(const Population& population, const PoresOptions& options, const std::vector<std::size_t>& order,
                    Recorder& recorder);

// Solving on other processes (MPI ranks): implemented where MPI is built.
class Distributor {
 public:
  virtual ~Distributor() = default;
  // Words for the console ("2 worker ranks").
  virtual std::string describe() const = 0;
  // Hands out `order`; returns false when stopped early (a signal on any rank).
  virtual bool solve(const Population& population, const PoresOptions& options, const std::vector<std::size_t>& order,
                     Recorder& recorder) = 0;
  // Sends every worker that still waits its stop (after an error on rank 0,
  // or when there was nothing to solve).
  virtual void release_workers() = 0;
};

}  // namespace csolver::pores
