#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryFile>

#include "app/application_identity.h"

// The window tests always run headless, on two 800 x 800 screens: the primary one, and a second at
// x = 2600 pixels (39000 twips), out of reach of a 16-bit edge in twips. The screen whose name
// sorts first is the primary one.
int main(int argc, char* argv[]) {
  testing::InitGoogleTest(&argc, argv);
  // In the working folder, by a relative name: the platform's options are split at colons, and
  // a Windows path has one after its drive letter.
  QTemporaryFile layout("window-screens-XXXXXX.json");
  if (!layout.open()) return 1;
  layout.write(R"({"screens": [
    {"name": "primary", "x": 0, "y": 0, "width": 800, "height": 800, "logicalDpi": 96},
    {"name": "second", "x": 2600, "y": 0, "width": 800, "height": 800, "logicalDpi": 96}]})");
  layout.flush();
  const QString relative = QDir::current().relativeFilePath(layout.fileName());
  qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + relative.toUtf8());
  QApplication app(argc, argv);
  // Named as the application names itself, so that window titles come out as they do there.
  SetApplicationIdentity();
  // The window under test closes many times; the test run must go on.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
