#include "serial/process_endings.h"

#include "serial/windows/windows_api.h"

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <exception>

#include "serial/windows/line_guard.h"

namespace {

std::atomic<LastWords> lastWords = nullptr;

void SayLastWords() noexcept {
  if (const LastWords words = lastWords.exchange(nullptr)) words();
}

// Windows has no exit status for a signal; these give the ones a script reads on Linux.
constexpr int kHangUpStatus = 128 + 1;  // the console window was closed
constexpr int kInterruptStatus = 128 + SIGINT;
constexpr int kTerminateStatus = 128 + SIGTERM;  // Ctrl-Break, logoff, shutdown

std::terminate_handler previousTerminate = nullptr;

[[noreturn]] void OnTerminate() {
  RestoreGuardedLines();
  if (previousTerminate) previousTerminate();
  std::abort();
}

void OnSignal(int signal) { EndBySignal(signal); }

// The console calls this on a thread of its own. Ctrl-C reaches here only while no run listens
// for it (see cli/windows/interrupt.cpp). For closing, logoff and shutdown Windows ends the
// process once the handler returns, so the port is put back before.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  RestoreGuardedLines();
  SayLastWords();
  switch (event) {
    case CTRL_C_EVENT: ExitProcess(kInterruptStatus);
    case CTRL_CLOSE_EVENT: ExitProcess(kHangUpStatus);
    default: ExitProcess(kTerminateStatus);
  }
}

}  // namespace

void SayLastWordsOnEnding(LastWords words) { lastWords = words; }

void EndBySignal(int signal) noexcept {
  RestoreGuardedLines();
  SayLastWords();
  ExitProcess(static_cast<UINT>(128 + signal));
}

// Of the signals Windows' C runtime knows, each one asked for ends the program putting the ports
// back; the console's events (Ctrl-C, Ctrl-Break, closing its window, logoff, shutdown) do too.
void EndBySignalsPuttingLinesBack(std::initializer_list<int> fatalSignals) {
  for (int signal : fatalSignals) std::signal(signal, OnSignal);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

// The C runtime's signals that end a program, raised by the program itself or its runtime (abort,
// a crash); Ctrl-C and Ctrl-Break reach a console program as console events.
void EndByAnyFatalSignalPuttingLinesBack() {
  EndBySignalsPuttingLinesBack({SIGTERM, SIGABRT, SIGSEGV, SIGILL, SIGFPE});
}

void PutLinesBackAtExit() {
  std::atexit([] { RestoreGuardedLines(); });
  previousTerminate = std::set_terminate(OnTerminate);
}
