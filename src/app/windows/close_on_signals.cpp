#include "app/close_on_signals.h"

#include <QCoreApplication>
#include <csignal>

#include "app/frmBaudTest.h"
#include "serial/process_endings.h"

// Windows tells a program that the session ends (WM_ENDSESSION) and ends it as soon as it has
// answered; Qt passes the message on as aboutToQuit, with the window still shown. (After Exit the
// window is closed, and aboutToQuit ends nothing.) Nothing of a running test may run after its
// port is released, so the program ends right there.
CloseOnSignals::CloseOnSignals(frmBaudTest& window) {
  connect(qApp, &QCoreApplication::aboutToQuit, this, [this, &window] {
    if (!window.isVisible()) return;
    received_ = SIGTERM;
    window.Form_Unload();
    EndBySignal(received_);
  });
}

CloseOnSignals::~CloseOnSignals() = default;
