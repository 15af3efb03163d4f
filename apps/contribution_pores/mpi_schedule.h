#pragma once
// The same executable under mpirun -np K: rank 0 runs the program (image,
// journal, files) and hands pores out, largest first, to ranks 1..K-1, which
// only solve. Built only with MPI (CS_WITH_MPI).
#include "contribution_pores/schedule.h"

#include <cstdio>
#include <memory>
#include <string>

namespace csolver::pores {

struct MpiWorld {
  int rank = 0;
  int size = 1;
  // Threads each worker solves with when --threads is not given (see
  // worker_threads); computed collectively at start, so every rank must
  // call world_of.
  int automatic_threads = 0;
  std::string node;  // this rank's host
};

// Call on every rank right after MPI_Init.
MpiWorld world_of();

// Progress words (which rank solves with how many threads) go to `out`.
std::unique_ptr<Distributor> make_distributor(const MpiWorld& world, std::FILE* out);

// The loop of ranks 1..K-1: ask, solve, return the result, until stopped.
// Returns the process's exit status.
int serve_as_worker(const MpiWorld& world);

}  // namespace csolver::pores
