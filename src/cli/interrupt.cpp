#include "cli/interrupt.h"

#include <unistd.h>

#include <csignal>

namespace {

volatile std::sig_atomic_t interrupted = 0;

constexpr char kNotice[] = "\nStopping at the test's next check; Ctrl-C again quits at once.\n";

void OnInterrupt(int /*signal*/) {
  interrupted = 1;
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // Entering the handler puts the default action back, so the second Ctrl-C ends the program.
  action.sa_flags = SA_RESETHAND;
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return interrupted != 0; }
