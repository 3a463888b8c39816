#include "cli/interrupt.h"

#include "serial/windows/windows_api.h"

#include <atomic>
#include <csignal>
#include <cstring>

#include "serial/process_endings.h"

namespace {

std::atomic<bool> interrupted = false;

std::atomic<const char*> notice = kStopTestNotice;

// The console calls this on a thread of its own, before the handler of the process endings
// (handlers run last installed first); other events go on to that one.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT) return FALSE;
  if (interrupted.exchange(true)) EndBySignal(SIGINT);
  DWORD written = 0;
  const char* text = notice;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text, static_cast<DWORD>(std::strlen(text)), &written,
            nullptr);
  return TRUE;
}

}  // namespace

void InstallInterruptHandler(const char* noticeToPrint) {
  notice = noticeToPrint;
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

bool InterruptRequested() { return interrupted; }

// The bench, which alone asks for this, is not available on Windows: console close, logoff and
// shutdown end the program as they do a single run.
void AlsoStopOnTermination() {}
int TerminationRequested() { return 0; }

namespace {

std::string keptSummary;
std::atomic<bool> summaryOnStandardError = false;

}  // namespace

// The console's thread prints it as the process ends; the bench sets it only between its tests.
void KeepSummaryForTheEnd(const std::string& summary, bool onStandardError) {
  summaryOnStandardError = onStandardError;
  keptSummary = summary;
}

void PrintKeptSummary() noexcept {
  DWORD written = 0;
  WriteFile(GetStdHandle(summaryOnStandardError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE), keptSummary.data(),
            static_cast<DWORD>(keptSummary.size()), &written, nullptr);
}
