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

// How this process solves: `solves` grids at once, each on
// `threads_per_solve` threads. The levels of a ladder of small grids (up to
// SIDE_BY_SIDE_LARGEST_M) are solved side by side, one thread each: their
// transforms are too small to keep a team of threads busy (measured: two
// threads on one such grid are 1.7 times as fast as one, two grids side by
// side twice as fast), and seven levels of unequal cost per pore share out
// evenly. One grid per pore (--M) and larger grids take every thread one
// solve at a time: three equal pores on two single threads would leave one
// idle at the end, and large grids need the memory.
struct InProcessTeam {
  int solves = 1;
  int threads_per_solve = 1;
};
inline constexpr std::int32_t SIDE_BY_SIDE_LARGEST_M = 64;
InProcessTeam in_process_team(const PoresOptions& options);
// Whether a ladder's levels are solved side by side (its finest grid small).
bool solves_side_by_side(const std::vector<std::int32_t>& ladder);

// One task's levels side by side, each on one of settings.threads threads:
// a worker rank's pore on the ladder. The result solve_task gives, sooner.
PoreResult solve_levels_side_by_side(const PoreTask& task, const SolveSettings& settings);

// The pores of `order` in this process, largest first, their levels shared
// out among the team. Each level is solved exactly as alone (no number
// depends on which thread solved it). Returns false when a stop signal
// ended it early; pores finished by then are recorded.
bool solve_in_process(const Population& population, const PoresOptions& options, const std::vector<std::size_t>& order,
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
