#include "cli/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "serial/process_endings.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t termination = 0;

std::atomic<const char*> notice = kStopTestNotice;

void OnInterrupt(int signal) {
  if (interrupted) EndBySignal(signal);
  interrupted = 1;
  if (signal != SIGINT) termination = signal;
  const char* text = notice;
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text, std::strlen(text));
}

void Handle(int signal) {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallInterruptHandler(const char* noticeToPrint) {
  notice = noticeToPrint;
  Handle(SIGINT);
}

void AlsoStopOnTermination() {
  Handle(SIGTERM);
  Handle(SIGHUP);
}

int TerminationRequested() { return termination; }

bool InterruptRequested() { return interrupted != 0; }
