#include "serial/process_endings.h"

#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>

#include "serial/linux/line_guard.h"

namespace {

std::atomic<LastWords> lastWords = nullptr;

void OnFatalSignal(int signal) { EndBySignal(signal); }

std::terminate_handler previousTerminate = nullptr;

[[noreturn]] void OnTerminate() {
  RestoreGuardedLines();
  if (previousTerminate) previousTerminate();
  std::abort();
}

// Of all the signals the system has, these are the ones whose default action leaves the program
// running (ignore, stop, continue), and the two no program can catch; every other one, the
// real-time signals included, ends it.
bool EndsTheProgram(int signal) {
  switch (signal) {
    case SIGKILL: case SIGSTOP:
    case SIGCHLD: case SIGCONT: case SIGTSTP: case SIGTTIN: case SIGTTOU: case SIGURG:
    case SIGWINCH:
      return false;
    default:
      return true;
  }
}

// A stack that overflowed leaves no room for the handler; it runs on this one instead, unless
// one is set already.
void UseAlternateSignalStack() {
  stack_t stack{};
  if (sigaltstack(nullptr, &stack) != 0 || !(stack.ss_flags & SS_DISABLE)) return;
  static std::array<char, 64 * 1024> alternate;
  stack = {};
  stack.ss_sp = alternate.data();
  stack.ss_size = alternate.size();
  sigaltstack(&stack, nullptr);
}

void Install(const sigset_t& signals) {
  struct sigaction action {};
  action.sa_handler = OnFatalSignal;
  action.sa_flags = SA_ONSTACK;
  // A second signal waits until the lines are back.
  action.sa_mask = signals;
  for (int signal = 1; signal < NSIG; ++signal) {
    if (sigismember(&signals, signal) == 1) sigaction(signal, &action, nullptr);
  }
}

}  // namespace

void SayLastWordsOnEnding(LastWords words) { lastWords = words; }

void EndBySignal(int signal) noexcept {
  RestoreGuardedLines();
  // Said once: a signal that comes while they are said does not say them again.
  if (const LastWords words = lastWords.exchange(nullptr)) words();
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
  sigset_t signals{};
  sigemptyset(&signals);
  for (int signal : fatalSignals) sigaddset(&signals, signal);
  Install(signals);
}

void EndByAnyFatalSignalPuttingLinesBack() {
  UseAlternateSignalStack();
  sigset_t signals{};
  sigemptyset(&signals);
  // The C library keeps a few real-time signals for itself; sigaddset refuses those.
  for (int signal = 1; signal < NSIG; ++signal) {
    if (EndsTheProgram(signal)) sigaddset(&signals, signal);
  }
  Install(signals);
}

void PutLinesBackAtExit() {
  std::atexit([] { RestoreGuardedLines(); });
  previousTerminate = std::set_terminate(OnTerminate);
}
