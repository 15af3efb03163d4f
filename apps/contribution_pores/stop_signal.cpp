#include "contribution_pores/stop_signal.h"

#include <cstring>
#include <unistd.h>

namespace csolver::pores {

namespace {

volatile std::sig_atomic_t requested = 0;

void write_message(const char* text) {
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

// Only async-signal-safe calls: write and _exit.
extern "C" void on_stop(int signal_number) {
  if (requested != 0) {
    write_message("\ncontribution_pores: stopped at once; the journal keeps every finished pore\n");
    _exit(128 + signal_number);
  }
  requested = signal_number;
}

}  // namespace

void install_stop_handlers() {
  struct sigaction action {};
  action.sa_handler = on_stop;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART needed: the run polls the flag; interrupted writes retry.
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

const volatile std::sig_atomic_t* stop_flag() { return &requested; }

int stop_signal() { return requested; }

}  // namespace csolver::pores
