#include "contribution_solver/interrupt.h"

#include "files/atomic_file.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace csolver {

namespace {
void write_message(const char* text) {
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

// Only async-signal-safe calls: write, unlink, _exit.
extern "C" void on_interrupt(int signal_number) {
  write_message(signal_number == SIGINT ? "\ncontribution_solver: interrupted (SIGINT)"
                                        : "\ncontribution_solver: terminated (SIGTERM)");
  write_message("; no result file was written or changed\n");
  remove_temporary_file_in_flight();
  _exit(128 + signal_number);
}
}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

}  // namespace csolver
