#pragma once

#include <QProcess>
#include <QStringList>

// An X server of the test's own (Xvfb), and xdotool driving it as a user would.
class XServer {
 public:
  explicit XServer(const QStringList& options = {}) {
    server_.start("Xvfb", QStringList{"-displayfd", "1", "-nolisten", "tcp"} + options);
    if (server_.waitForReadyRead(20'000)) display_ = ":" + server_.readLine().trimmed();
  }
  ~XServer() { End(); }

  // Empty when Xvfb did not start.
  const QString& Display() const { return display_; }
  void End() {
    server_.terminate();
    server_.waitForFinished();
  }

  // xdotool's exit status for these steps; -1 when it hung.
  int Xdotool(const QStringList& steps) const {
    QProcess x;
    QProcessEnvironment environment;
    environment.insert("DISPLAY", display_);
    x.setProcessEnvironment(environment);
    x.start("xdotool", steps);
    if (x.waitForFinished(30'000)) return x.exitCode();
    x.kill();
    x.waitForFinished();
    return -1;
  }

  // Whether the steps were done, asked again when a search races a window that goes away meanwhile.
  bool Do(const QStringList& steps) const {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (Xdotool(steps) == 0) return true;
    }
    return false;
  }

 private:
  QProcess server_;
  QString display_;
};
