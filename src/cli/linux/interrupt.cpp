#include "cli/interrupt.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>

#include "serial/process_endings.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

std::atomic<const char*> notice = kStopTestNotice;

void OnInterrupt(int signal) {
  if (interrupted) EndBySignal(signal);
  interrupted = 1;
  const char* text = notice;
  [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, text, std::strlen(text));
}

}  // namespace

void InstallInterruptHandler(const char* noticeToPrint) {
  notice = noticeToPrint;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() { return interrupted != 0; }
