#include "app/close_on_signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>

#include "app/frmBaudTest.h"
#include "serial/process_endings.h"

namespace {

constexpr int kClosingSignals[] = {SIGTERM, SIGHUP, SIGINT};

// How long a running test may take to reach its next check once a signal has stopped it.
constexpr int kGraceMs = 500;

// The handler only writes the signal's number here; the window reads it in its event loop,
// which runs also inside a message box, a menu or a test's waits.
int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t closing = 0;

void OnClosingSignal(int signal) {
  if (closing) EndBySignal(signal);
  closing = 1;
  const auto number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = write(signalPipe[1], &number, 1);
}

// Every box open gets the answer of Escape, every menu open closes.
void DismissBoxesAndMenus() {
  while (QWidget* popup = QApplication::activePopupWidget()) {
    if (!popup->close()) break;
  }
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QMessageBox*>(widget);
    if (!box || !box->isVisible()) continue;
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(box, &escape);
  }
}

}  // namespace

CloseOnSignals::CloseOnSignals(frmBaudTest& window) {
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier, &QSocketNotifier::activated, this, [this, &window] {
    unsigned char number = 0;
    if (read(signalPipe[0], &number, 1) == 1) received_ = number;
    DismissBoxesAndMenus();
    if (armed_) window.close();
    QTimer::singleShot(kGraceMs, this, [this, &window] {
      window.Form_Unload();
      EndBySignal(received_);
    });
  });
  struct sigaction action {};
  action.sa_handler = OnClosingSignal;
  sigemptyset(&action.sa_mask);
  for (int signal : kClosingSignals) sigaction(signal, &action, nullptr);
  // A lost X server may first show as a write to its closed socket: the toolkit then sees the
  // connection broken and exits as it does for a lost server, the settings saved.
  std::signal(SIGPIPE, SIG_IGN);
}

CloseOnSignals::~CloseOnSignals() {
  // From here on the default actions apply again, with the lines put back.
  EndBySignalsPuttingLinesBack({SIGTERM, SIGHUP, SIGINT});
  close(signalPipe[0]);
  close(signalPipe[1]);
}
