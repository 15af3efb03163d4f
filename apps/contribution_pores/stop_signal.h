#pragma once
// SIGINT and SIGTERM ask a population run to stop: the pore being solved is
// abandoned at its next iteration, every finished pore is already in the
// journal, and the run ends with a message. A second signal ends the process
// at once, which the journal survives as well.
#include <csignal>

namespace csolver::pores {

void install_stop_handlers();
// Nonzero (the signal's number) once a stop was asked for.
const volatile std::sig_atomic_t* stop_flag();
int stop_signal();

}  // namespace csolver::pores
