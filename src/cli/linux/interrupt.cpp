#include "cli/interrupt.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <cstring>

#include "serial/process_endings.h"

namespace {

volatile std::sig_atomic_t interrupted = 0;

struct KeptSummary {
  std::array<char, 512> text{};
  volatile std::sig_atomic_t length = 0;
  volatile std::sig_atomic_t fd = STDOUT_FILENO;
};
KeptSummary summary;
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

void RequestInterrupt() noexcept { OnInterrupt(SIGINT); }

void KeepSummaryForTheEnd(const std::string& text, bool onStandardError) {
  summary.length = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t length = std::min(text.size(), summary.text.size());
  std::memcpy(summary.text.data(), text.data(), length);
  summary.fd = onStandardError ? STDERR_FILENO : STDOUT_FILENO;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  summary.length = static_cast<std::sig_atomic_t>(length);
}

void PrintKeptSummary() noexcept {
  const auto length = static_cast<std::size_t>(summary.length);
  summary.length = 0;
  [[maybe_unused]] const ssize_t written = write(summary.fd, summary.text.data(), length);
}
