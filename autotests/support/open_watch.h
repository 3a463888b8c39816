#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <initializer_list>
#include <string>

// Sees whether any of the chosen files is opened, whoever opens it, through inotify.
class OpenWatch {
 public:
  explicit OpenWatch(std::initializer_list<std::string> paths) {
    for (const std::string& path : paths) inotify_add_watch(fd_, path.c_str(), IN_OPEN);
  }
  ~OpenWatch() { close(fd_); }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  // Whether one of them has been opened since the last look. Only opens are watched, so any
  // event is one.
  bool Opened() const {
    alignas(inotify_event) char events[4096];
    return read(fd_, events, sizeof events) > 0;
  }

 private:
  int fd_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
};
