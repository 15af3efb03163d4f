#pragma once
// The messages between rank 0 (the master) and the worker ranks of a
// population run. A worker asks; the master answers every message with one
// task or with stop; the pore's slot travels with its task and its result,
// so the master files each result where it belongs whatever the order of
// arrival.
namespace csolver::pores::mpi_tags {

enum Tag : int {
  ask = 1,     // worker -> master: ready for work (payload: the worker's thread count, int)
  task = 2,    // master -> worker: TaskHeader followed by the (M + 1)^3 node flags as bytes
  result = 3,  // worker -> master: the pore's record (pore_result.h), which asks for the next task too
  stop = 4,    // master -> worker: no more work (empty)
};

}  // namespace csolver::pores::mpi_tags
