// Opens the window on the simulated adaptor (a faulty one when given, as "sim:no-dtr"), runs a
// fast test and saves a picture of the window as the user sees it. Run under an X server
// (tools/screenshot.sh starts Xvfb).

#include <QApplication>
#include <QPixmap>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdio>

#include "app/app_settings.h"
#include "app/frmBaudTest.h"
#include "link/clock.h"
#include "serial/port_map.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: %s PICTURE.png [sim|sim:FAULTS]\n", argv[0]);
    return 64;
  }

  // Settings of its own, with the simulated adaptor as the port to reopen.
  QTemporaryDir settings;
  KeepSettingsInFolder(settings.path());
  SaveAppSetting("SerialPortInfo", "ComPort", " 1");

  SystemClock clock;
  PortMap ports([&clock] { return clock.timeGetTime(); });
  ports.Assign(1, argc == 3 ? argv[2] : "sim");
  // No real device of this machine is opened: the other ports name nothing.
  for (int n = 2; n <= PortMap::kComPorts; ++n) ports.Assign(n, "/nonexistent/com" + std::to_string(n));

  frmBaudTest window(ports, clock, [] {});
  window.Form_Load();
  window.show();
  window.findChild<QPushButton*>("cmdStart")->click();
  QApplication::processEvents();
  if (!window.grab().save(argv[1])) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
