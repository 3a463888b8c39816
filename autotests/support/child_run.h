#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "support/text.h"

// Code that takes a program's whole run, its exit status, its standard streams and its Ctrl-C,
// run in a process of its own: the body's return is the exit status, what it writes to
// standard output and error lands in Out() and Err(). The test's own process stays as it was.
// Files the body writes under FilePath() are the test's to read afterwards.
class ChildRun {
 public:
  ChildRun();
  ~ChildRun();
  ChildRun(const ChildRun&) = delete;
  ChildRun& operator=(const ChildRun&) = delete;

  int RunInChild(const std::function<int()>& body);

  const std::string& Out() const { return out_; }
  const std::string& Err() const { return err_; }
  std::string FilePath(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
  bool ownsDir_ = true;
  int calls_ = 0;
  std::string out_;
  std::string err_;
};
