#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

// SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl-C) close the window as Exit
// does: a running test is stopped first and the settings are saved. A second one ends the
// program at once, its serial line put back.
class CloseOnSignals : public QObject {
 public:
  // From here on the signals are caught; one that comes before Arm waits for it.
  explicit CloseOnSignals(QWidget& window);
  ~CloseOnSignals() override;

  // Once the window is shown: a signal closes it from now on.
  void Arm();

  // The signal that closed the window, or 0.
  int Received() const { return received_; }

 private:
  QSocketNotifier* notifier_ = nullptr;
  int received_ = 0;
};
