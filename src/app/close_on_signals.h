#pragma once

#include <QObject>

class QSocketNotifier;
class QWidget;

// SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl-C) close the window as Exit
// does: a running test is stopped first and the settings are saved. A second one ends the
// program at once, its serial line put back.
class CloseOnSignals : public QObject {
 public:
  explicit CloseOnSignals(QWidget& window);
  ~CloseOnSignals() override;

  // The signal that closed the window, or 0.
  int Received() const { return received_; }

 private:
  QSocketNotifier* notifier_ = nullptr;
  int received_ = 0;
};
