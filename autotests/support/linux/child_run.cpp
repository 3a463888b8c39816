#include "support/child_run.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>

// The body runs in a fork of the test.
ChildRun::ChildRun() {
  char pattern[] = "/tmp/aldl-child-XXXXXX";
  dir_ = mkdtemp(pattern);
}

ChildRun::~ChildRun() { std::filesystem::remove_all(dir_); }

int ChildRun::RunInChild(const std::function<int()>& body) {
  const std::string out = FilePath("out");
  const std::string err = FilePath("err");
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
  out_ = FileText(out);
  err_ = FileText(err);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
