#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <QTemporaryDir>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>

// Code that takes a program's whole run, its exit status, its standard streams and its Ctrl-C,
// run in a process of its own: the body's return is the exit status, what it writes to
// standard output and error lands in Out() and Err(). The test's own process stays as it was.
class ChildRun {
 public:
  int RunInChild(const std::function<int()>& body) {
    const std::string out = dir_.filePath("out").toStdString();
    const std::string err = dir_.filePath("err").toStdString();
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
      if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) _exit(99);
      const int status = body();
      std::cout.flush();
      std::fflush(nullptr);
      _exit(status);
    }
    int status = 0;
    waitpid(child, &status, 0);
    out_ = Contents(out);
    err_ = Contents(err);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }
  std::string FilePath(const std::string& name) const { return dir_.filePath(QString::fromStdString(name)).toStdString(); }

  static std::string Contents(const std::string& path) {
    return (std::ostringstream() << std::ifstream(path).rdbuf()).str();
  }

 private:
  QTemporaryDir dir_;
  std::string out_;
  std::string err_;
};
