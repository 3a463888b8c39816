#include "cli/interrupt.h"

#include "serial/windows/windows_api.h"

#include <atomic>
#include <csignal>

#include "serial/process_endings.h"

namespace {

std::atomic<bool> interrupted = false;

constexpr char kNotice[] = "\nStopping at the test's next check; Ctrl-C again quits at once.\n";

// The console calls this on a thread of its own, before the handler of the process endings
// (handlers run last installed first); other events go on to that one.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT) return FALSE;
  if (interrupted.exchange(true)) EndBySignal(SIGINT);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), kNotice, sizeof kNotice - 1, &written, nullptr);
  return TRUE;
}

}  // namespace

void InstallInterruptHandler() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }

bool InterruptRequested() { return interrupted; }
