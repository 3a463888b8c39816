#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QProcess>
#include <QTemporaryDir>
#include <map>
#include <string>

#include "support/text.h"

// Runs the built aldl-tester-cli (or the window, aldl-tester), one process at a time, with
// exactly the environment in env_: every COM number points at a missing path in a fresh folder
// unless the test maps it, so no run can reach a real serial device. Its standard output and
// error go to files in that folder; closedStream, when set, starts it with that one closed.
class Cli : public ::testing::Test {
 protected:
  Cli() {
    for (int n = 1; n <= 16; ++n) env_["ALDL_COM" + std::to_string(n)] = Missing(n);
  }

  std::string Dir() const { return dir_.path().toStdString(); }
  std::string Missing(int comPort) const { return Dir() + "/missing-com" + std::to_string(comPort); }

  // Starts the program with this command line as sh reads it, so a test can give it any bytes
  // with $(printf ...); sh makes way for the program (exec), which keeps its process id.
  void Start(const std::string& commandLine, const std::string& program = ALDL_CLI_PATH) {
    QProcessEnvironment environment;
    for (const auto& [name, value] : env_) {
      environment.insert(QString::fromStdString(name), QString::fromStdString(value));
    }
    process_.setProcessEnvironment(environment);
    process_.setStandardInputFile(QString::fromStdString(terminal_));
    process_.setStandardOutputFile(dir_.filePath("fd1"));
    process_.setStandardErrorFile(dir_.filePath("fd2"));
    process_.setChildProcessModifier([this] {
      // A signal that dumps core leaves no file behind.
      const rlimit noCore{0, 0};
      setrlimit(RLIMIT_CORE, &noCore);
      if (closedStream >= 0) close(closedStream);
      // A new session's leader takes its standard input as its controlling terminal.
      if (!terminal_.empty() && setsid() != -1) ioctl(STDIN_FILENO, TIOCSCTTY, 0);
    });
    process_.start("/bin/sh", {"-c", QString::fromStdString("exec '" + program + "' " + commandLine)});
    ASSERT_TRUE(process_.waitForStarted()) << "cannot start " << program;
  }

  void Signal(int signal) {
    if (process_.state() == QProcess::Running) kill(static_cast<pid_t>(process_.processId()), signal);
  }

  // Waits until the output on fd holds the text (times times over); false once the program has
  // ended without it, or after a long limit that only keeps a hung program from hanging the test.
  bool WaitFor(const std::string& text, int fd = STDOUT_FILENO, int times = 1) {
    for (int tick = 0; tick < 12'000 && process_.state() == QProcess::Running; ++tick) {
      if (Occurrences(Output(fd), text) >= times) return true;
      process_.waitForFinished(10);
    }
    return Occurrences(Output(fd), text) >= times;
  }

  // Whether the program has ended, waiting at most ms for it.
  bool EndsWithin(int ms) {
    return process_.state() != QProcess::Running || process_.waitForFinished(ms);
  }

  // Waits for the end, killing a program still running at that long limit. Gives the exit
  // status, or 128 + the signal that ended the program (on Unix, QProcess gives a crashed
  // program's signal number as its exit code).
  int Finish() {
    if (!process_.waitForFinished(120'000)) process_.kill();  // once it has ended, does nothing
    process_.waitForFinished();
    return process_.exitCode() + (process_.exitStatus() == QProcess::CrashExit ? 128 : 0);
  }

  pid_t Pid() const { return static_cast<pid_t>(process_.processId()); }

  // Whether the program was ended by a signal rather than exiting with a status of 128 + N: a
  // parent shell tells the two apart.
  bool Signalled() const { return process_.exitStatus() == QProcess::CrashExit; }

  int Run(const std::string& commandLine) {
    Start(commandLine);
    return Finish();
  }

  std::string Out() const { return Output(STDOUT_FILENO); }
  std::string Err() const { return Output(STDERR_FILENO); }

  std::map<std::string, std::string> env_;
  int closedStream = -1;
  // When set, the program runs on this terminal: its standard input and controlling terminal.
  std::string terminal_;

 private:
  std::string Output(int fd) const {
    return FileText(Dir() + "/fd" + std::to_string(fd));
  }

  QTemporaryDir dir_;
  QProcess process_;
};
