#include <gtest/gtest.h>

#include <QApplication>

#include "app/application_identity.h"

// The window tests run headless unless told otherwise.
int main(int argc, char* argv[]) {
  testing::InitGoogleTest(&argc, argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  // Named as the application names itself, so that window titles come out as they do there.
  SetApplicationIdentity();
  // The window under test closes many times; the test run must go on.
  QApplication::setQuitOnLastWindowClosed(false);
  return RUN_ALL_TESTS();
}
