#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// A program run as a child with exactly the environment given, its standard output and error
// read through pipes while it runs.
class CliProcess {
 public:
  struct Outcome {
    int exitCode = -1;  // -1 when a signal ended it
    int signal = 0;
    std::string out;
    std::string err;
  };

  CliProcess(const std::string& program, const std::vector<std::string>& arguments,
             const std::map<std::string, std::string>& environment) {
    int outPipe[2];
    int errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) {
      throw std::runtime_error("pipe");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);

    std::vector<std::string> argv{program};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    std::vector<std::string> envp;
    for (const auto& [name, value] : environment) envp.push_back(name + "=" + value);
    const int failed = posix_spawn(&pid_, program.c_str(), &actions, nullptr, Pointers(argv).data(),
                                   Pointers(envp).data());
    posix_spawn_file_actions_destroy(&actions);
    close(outPipe[1]);
    close(errPipe[1]);
    fds_[0] = outPipe[0];
    fds_[1] = errPipe[0];
    if (failed != 0) throw std::runtime_error("cannot start " + program);
  }

  ~CliProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    for (int fd : fds_) {
      if (fd >= 0) close(fd);
    }
  }

  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  // Reads until standard output holds the text; false when the program closed it first.
  bool WaitForOutput(std::string_view text) { return WaitFor(outcome_.out, text); }
  bool WaitForError(std::string_view text) { return WaitFor(outcome_.err, text); }

  void Signal(int signal) { kill(pid_, signal); }

  // Reads both streams to their end and waits for the program to end.
  Outcome Finish() {
    while (ReadSome()) {
    }
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    if (WIFEXITED(status)) outcome_.exitCode = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome_.signal = WTERMSIG(status);
    return outcome_;
  }

 private:
  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
  }

  bool WaitFor(const std::string& stream, std::string_view text) {
    while (stream.find(text) == std::string::npos) {
      if (!ReadSome()) return false;
    }
    return true;
  }

  // One read from whichever stream has data; false once both are closed. The long limit only
  // keeps a hung program from hanging the test.
  bool ReadSome() {
    pollfd polled[2] = {{fds_[0], POLLIN, 0}, {fds_[1], POLLIN, 0}};
    if (fds_[0] < 0 && fds_[1] < 0) return false;
    if (poll(polled, 2, 60'000) <= 0) {
      kill(pid_, SIGKILL);
      return false;
    }
    std::string* streams[2] = {&outcome_.out, &outcome_.err};
    for (int i = 0; i < 2; ++i) {
      if (polled[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t got = read(fds_[i], buffer, sizeof buffer);
      if (got > 0) {
        streams[i]->append(buffer, static_cast<std::size_t>(got));
      } else {
        close(fds_[i]);
        fds_[i] = -1;
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  int fds_[2] = {-1, -1};
  Outcome outcome_;
};
