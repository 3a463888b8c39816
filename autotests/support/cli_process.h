#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// Runs the built aldl-tester-cli (or the window, aldl-tester), one process at a time, with
// exactly the environment in env_: every COM number points at a missing path in a fresh folder
// unless the test maps it, so no run can reach a real serial device. Its standard output and
// error go to files in that folder, unless closedStreams says to start it with them closed.
// Standard input is the test's own unless terminal_ names one.
class Cli : public ::testing::Test {
 protected:
  Cli() {
    std::string pattern = (std::filesystem::temp_directory_path() / "aldl-cli-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    for (int n = 1; n <= 16; ++n) env_["ALDL_COM" + std::to_string(n)] = Missing(n);
  }
  ~Cli() override {
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, nullptr, 0);
    std::filesystem::remove_all(dir_);
  }

  std::string Missing(int comPort) const { return dir_ + "/missing-com" + std::to_string(comPort); }

  const std::string& Dir() const { return dir_; }

  // Starts the program with these space-separated arguments.
  void Start(const std::string& commandLine, const std::string& program = ALDL_CLI_PATH) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {STDOUT_FILENO, STDERR_FILENO}) {
      if (closedStreams.contains(fd)) {
        posix_spawn_file_actions_addclose(&actions, fd);
      } else {
        posix_spawn_file_actions_addopen(&actions, fd, (dir_ + "/fd" + std::to_string(fd)).c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0600);
      }
    }
    std::istringstream words(program + " " + commandLine);
    std::vector<std::string> arguments{std::istream_iterator<std::string>(words), {}};
    std::vector<std::string> settings;
    for (const auto& [name, value] : env_) settings.push_back(name + "=" + value);
    std::vector<char*> argv{nullptr}, envp{nullptr};
    for (auto& argument : arguments) argv.insert(argv.end() - 1, argument.data());
    for (auto& setting : settings) envp.insert(envp.end() - 1, setting.data());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    if (!terminal_.empty()) {
      // A new session takes the first terminal it opens as its controlling terminal.
      posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
      posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, terminal_.c_str(), O_RDWR, 0);
    }
    const int failed =
        posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ASSERT_EQ(failed, 0) << "cannot start " << program;
  }

  void Signal(int signal) {
    if (pid_ > 0) kill(pid_, signal);
  }

  // Waits until the output on fd holds the text; false once the program has ended without it,
  // or after a long limit that only keeps a hung program from hanging the test.
  bool WaitFor(const std::string& text, int fd = STDOUT_FILENO) {
    siginfo_t ended{};
    for (int tick = 0; pid_ > 0 && ended.si_pid == 0 && tick < 12'000; ++tick) {
      if (Output(fd).find(text) != std::string::npos) return true;
      usleep(10'000);
      waitid(P_PID, pid_, &ended, WEXITED | WNOHANG | WNOWAIT);
    }
    return Output(fd).find(text) != std::string::npos;
  }

  // Waits for the end (no output holds a NUL), killing a program still running at the limit.
  // Gives the exit status, or 128 + the signal that ended the program.
  int Finish() {
    WaitFor(std::string(1, '\0'));
    int status = -1;  // read as exit status 255: it never ran
    if (pid_ > 0 && kill(pid_, SIGKILL) == 0) waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  }

  int Run(const std::string& commandLine) {
    Start(commandLine);
    return Finish();
  }

  std::string Out() const { return Output(STDOUT_FILENO); }
  std::string Err() const { return Output(STDERR_FILENO); }

  std::map<std::string, std::string> env_;
  std::set<int> closedStreams;
  // When set, the program runs on this terminal: its standard input and controlling terminal.
  std::string terminal_;

 private:
  std::string Output(int fd) const {
    return (std::ostringstream() << std::ifstream(dir_ + "/fd" + std::to_string(fd)).rdbuf()).str();
  }

  std::string dir_;
  pid_t pid_ = -1;
};
