#pragma once

#include <QObject>

class frmBaudTest;

// On Linux SIGTERM, SIGHUP and SIGINT (a logout, a closed terminal, Ctrl-C) close the window as
// Exit does, whatever is open: a message box gets the answer of Escape, a menu closes, a running
// test is stopped, and the settings are saved. A test that has not come to its next check within
// half a second is not waited for: the settings are saved and the line put back at once. A
// second signal ends the program at once, its serial line put back. A closed pipe or socket ends
// nothing: writing to it fails.
// On Windows the end of the session (logoff, shutdown), after which Windows ends the program
// without waiting, saves the settings and puts the line back at once, whatever runs, and the
// program ends as by SIGTERM.
class CloseOnSignals : public QObject {
 public:
  // From here on the signals are caught.
  explicit CloseOnSignals(frmBaudTest& window);
  ~CloseOnSignals() override;

  // Once the window is shown: a signal closes it from now on. Before, one closes only the boxes
  // of start-up, and the caller reads Received once start-up is done.
  void Arm() { armed_ = true; }

  // The signal that closed the window, or 0.
  int Received() const { return received_; }

 private:
  bool armed_ = false;
  int received_ = 0;
};
