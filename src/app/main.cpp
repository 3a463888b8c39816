#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>

#include "app/app_settings.h"
#include "app/application_identity.h"
#include "app/close_on_signals.h"
#include "app/frmBaudTest.h"
#include "app/window_destroyed.h"
#include "common/standard_descriptors.h"
#include "link/clock.h"
#include "serial/port_map.h"
#include "serial/process_endings.h"

namespace {

// Losing the X server ends the program through exit(): the window still saves its settings and
// releases its port then.
frmBaudTest* windowToUnload = nullptr;

struct UnloadAtExit {
  explicit UnloadAtExit(frmBaudTest& window) {
    windowToUnload = &window;
    std::atexit([] {
      if (windowToUnload) windowToUnload->Form_Unload();
    });
  }
  ~UnloadAtExit() { windowToUnload = nullptr; }
};

}  // namespace

int main(int argc, char* argv[]) {
  EnsureStandardDescriptors();
  PutLinesBackAtExit();
  EndByAnyFatalSignalPuttingLinesBack();
  QApplication app(argc, argv);
  SetApplicationIdentity();

  QCommandLineParser options;
  options.setApplicationDescription("Checks a looped-back ALDL adaptor cable.");
  options.addHelpOption();
  options.addVersionOption();
  const QCommandLineOption simulate(
      "simulate", "Put the simulated adaptor on COM 1, with FAULTS (comma-separated) if given.",
      "FAULTS");
  options.addOption(simulate);
  // --simulate without a value is the good adaptor.
  QStringList arguments = QApplication::arguments();
  for (QString& argument : arguments) {
    if (argument == "--simulate") argument = "--simulate=";
  }
  options.process(arguments);

  std::optional<std::string> faults;
  if (options.isSet(simulate)) faults = options.value(simulate).toStdString();

  SystemClock clock;
  std::optional<PortMap> ports;
  try {
    ports.emplace(PortMap::FromEnvironment([&clock] { return clock.timeGetTime(); }, faults));
  } catch (const std::invalid_argument& bad) {
    std::fprintf(stderr, "aldl-tester: %s\n", bad.what());
    return 64;
  }

  PlaceSettingsStore();
  frmBaudTest window(*ports, clock, [] { QApplication::beep(); });
  CloseOnSignals closeOnSignals(window);
  const EndWhenWindowDestroyed endWhenDestroyed(window);
  window.Form_Load();
  // After start-up: the toolkit's own clean-up at exit, registered as start-up first used it,
  // must run after the window has saved its settings.
  const UnloadAtExit unloadAtExit(window);
  int status = 0;
  if (closeOnSignals.Received()) {
    // Ended during start-up, a box of its open: the window is never shown.
    window.Form_Unload();
  } else {
    window.show();
    closeOnSignals.Arm();
    status = app.exec();
  }
  if (closeOnSignals.Received()) EndBySignal(closeOnSignals.Received());
  return status;
}
