// contribution_pores: the pores of a 3-D image, one solve per pore, and the
// effective properties of the porous solid; serial, or under mpirun with
// rank 0 handing the pores out. `contribution_pores --help` lists the options.
#include "contribution_pores/run.h"

#ifdef CS_WITH_MPI
#include "contribution_pores/mpi_schedule.h"

#include <mpi.h>

#include <cstdlib>

namespace {

// Whether an MPI launcher started this process. Without one the run is
// serial and MPI stays uninitialized: a singleton start costs Open MPI half
// a second and a helper daemon, for nothing. (Should a launcher set none of
// these, every rank would run serially and all but one would be refused by
// the journal's lock.)
bool launched_by_mpi() {
  for (const char* variable : {"OMPI_COMM_WORLD_SIZE", "PMIX_RANK", "PMI_RANK", "PMI_SIZE", "PMI_FD", "MPI_LOCALNRANKS"})
    if (std::getenv(variable) != nullptr) return true;
  return false;
}

}  // namespace
#endif

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
#ifdef CS_WITH_MPI
  if (!launched_by_mpi()) return csolver::pores::run_pores(args, stdout, stderr, nullptr);
  // mpirun -np 1 (or srun -n 1) is one rank: a serial run.
  int provided = 0;
  MPI_Init_thread(&argc, &argv, MPI_THREAD_FUNNELED, &provided);
  const csolver::pores::MpiWorld world = csolver::pores::world_of();
  int status = 0;
  if (world.size == 1) {
    status = csolver::pores::run_pores(args, stdout, stderr, nullptr);
  } else if (world.rank == 0) {
    const auto distributor = csolver::pores::make_distributor(world, stdout);
    status = csolver::pores::run_pores(args, stdout, stderr, distributor.get());
  } else {
    status = csolver::pores::serve_as_worker(world);
  }
  std::fflush(stdout);
  MPI_Finalize();
  return status;
#else
  return csolver::pores::run_pores(args, stdout, stderr, nullptr);
#endif
}
