#include "serial/process_endings.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <exception>

#include "serial/linux/line_guard.h"

namespace {

void OnFatalSignal(int signal) { EndBySignal(signal); }

std::terminate_handler previousTerminate = nullptr;

[[noreturn]] void OnTerminate() {
  RestoreGuardedLines();
  if (previousTerminate) previousTerminate();
  std::abort();
}

}  // namespace

void EndBySignal(int signal) noexcept {
  RestoreGuardedLines();
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  sigset_t only{};
  sigemptyset(&only);
  sigaddset(&only, signal);
  sigprocmask(SIG_UNBLOCK, &only, nullptr);
  raise(signal);
  // A signal whose default action does not end the program still ends it here.
  _exit(128 + signal);
}

void EndBySignalsPuttingLinesBack(std::initializer_list<int> fatalSignals) {
  struct sigaction action {};
  action.sa_handler = OnFatalSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : fatalSignals) sigaddset(&action.sa_mask, signal);
  for (int signal : fatalSignals) sigaction(signal, &action, nullptr);
}

void PutLinesBackAtExit() {
  std::atexit([] { RestoreGuardedLines(); });
  previousTerminate = std::set_terminate(OnTerminate);
}
