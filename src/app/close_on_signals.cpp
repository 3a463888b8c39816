#include "app/close_on_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>

#include "serial/process_endings.h"

namespace {

constexpr int kClosingSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The handler only writes the signal's number here; the window reads it in its event loop.
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t closing = 0;

void OnClosingSignal(int signal) {
  if (closing) EndBySignal(signal);
  closing = 1;
  const auto number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &number, 1);
}

}  // namespace

CloseOnSignals::CloseOnSignals(QWidget& window) {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  notifier_->setEnabled(false);
  connect(notifier_, &QSocketNotifier::activated, this, [this, &window] {
    unsigned char number = 0;
    if (read(signalPipe[0], &number, 1) == 1) received_ = number;
    window.close();
  });
  struct sigaction action {};
  action.sa_handler = OnClosingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kClosingSignals) sigaction(signal, &action, nullptr);
}

void CloseOnSignals::Arm() {
  if (notifier_) notifier_->setEnabled(true);
}

CloseOnSignals::~CloseOnSignals() {
  // From here on the default actions apply again, with the lines put back.
  EndBySignalsPuttingLinesBack({SIGTERM, SIGHUP, SIGINT});
  close(signalPipe[0]);
  close(signalPipe[1]);
}
