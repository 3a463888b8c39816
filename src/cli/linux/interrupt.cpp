#include "cli/interrupt.h"

#include <unistd.h>

#include <csignal>

#include "serial/process_endings.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

constexpr char kNotice[] = "\nStopping at the test's next check; Ctrl-C again quits at once.\n";

void OnInterrupt(int signal) {
  if (interrupted) EndBySignal(signal);
  interrupted = 1;
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kNotice, sizeof kNotice - 1);
}

}  // namespace

void InstallInterruptHandler() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return interrupted != 0; }
