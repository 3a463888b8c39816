#include "app/application_identity.h"

#include <QApplication>

#include "version.h"

void SetApplicationIdentity() {
  QApplication::setApplicationName("aldl-tester");
  // No display name: Qt would append it to every window title, the message boxes' included.
  QApplication::setApplicationVersion(
      QStringLiteral("%1.%2.%3").arg(kVersionMajor).arg(kVersionMinor).arg(kVersionRevision));
}
