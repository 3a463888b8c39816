#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "app/application_identity.h"
#include "app/frmBaudTest.h"
#include "link/clock.h"
#include "serial/port_map.h"

int main(int argc, char* argv[]) {
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

  frmBaudTest window(*ports, clock, [] { QApplication::beep(); });
  window.Form_Load();
  window.show();
  return app.exec();
}
