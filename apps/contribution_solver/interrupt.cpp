#include "contribution_solver/interrupt.h"

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace csolver {

namespace {
// A signal handler can only reach static storage; the path is copied into a
// fixed buffer so that the handler needs nothing but write, unlink and _exit.
char temporary_path[4096];
volatile std::sig_atomic_t temporary_registered = 0;

void write_message(const char* text) {
  const ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
  (void)ignored;
}

extern "C" void on_interrupt(int signal_number) {
  write_message(signal_number == SIGINT ? "\ncontribution_solver: interrupted (SIGINT)"
                                        : "\ncontribution_solver: terminated (SIGTERM)");
  write_message("; no result file was written or changed\n");
  if (temporary_registered) unlink(temporary_path);
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

void register_temporary_file(const std::filesystem::path& path) {
  temporary_registered = 0;
  const std::string text = path.string();
  const std::size_t n = std::min(text.size(), sizeof temporary_path - 1);
  std::memcpy(temporary_path, text.data(), n);
  temporary_path[n] = '\0';
  temporary_registered = n == text.size() ? 1 : 0;
}

void clear_temporary_file() { temporary_registered = 0; }

}  // namespace csolver
