#include "cli/interrupt.h"

#include "serial/windows/windows_api.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <mutex>

#include "serial/process_endings.h"

namespace {

std::atomic<bool> interrupted = false;
std::atomic<bool> breakStops = false;
std::atomic<int> termination = 0;

std::atomic<const char*> notice = kStopTestNotice;

void Interrupt(int signal) noexcept {
  if (interrupted.exchange(true)) EndBySignal(signal);
  if (signal != SIGINT) termination = signal;
  DWORD written = 0;
  const char* text = notice;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// The console calls this on a thread of its own, before the handler of the process endings
// (handlers run last installed first); other events go on to that one. Ctrl-Break, as the
// bench's SIGTERM, ends with the status of one.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT) {
    Interrupt(SIGINT);
    return TRUE;
  }
  if (event == CTRL_BREAK_EVENT && breakStops) {
    Interrupt(SIGTERM);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

void InstallInterruptHandler(const char* noticeToPrint) {
  notice = noticeToPrint;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() { return interrupted; }

void RequestInterrupt() noexcept { Interrupt(SIGINT); }

// Closing the console window, logoff and shutdown leave a program no time to finish its test:
// Windows ends it once the handlers return, and the process endings log the test halted then.
void AlsoStopOnTermination() { breakStops = true; }
int TerminationRequested() { return termination; }

namespace {

// The console's thread prints it as the process ends, while the main thread may be keeping another.
std::mutex summaryGuard;
std::string keptSummary;
bool summaryOnStandardError = false;

}  // namespace

void KeepSummaryForTheEnd(const std::string& summary, bool onStandardError) {
  const std::lock_guard held(summaryGuard);
  summaryOnStandardError = onStandardError;
  keptSummary = summary;
}

void PrintKeptSummary() noexcept {
  const std::lock_guard held(summaryGuard);
  DWORD written = 0;
  WriteFile(GetStdHandle(summaryOnStandardError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), keptSummary.data(),
            static_cast<DWORD>(keptSummary.size()), &written, nullptr);
  keptSummary.clear();
}
