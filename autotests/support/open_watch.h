#pragma once

#include <sys/inotify.h>
#include <unistd.h>

#include <string>

// Counts the opens of chosen files, whoever makes them, through inotify.
class OpenWatch {
 public:
  OpenWatch() : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {}
  ~OpenWatch() { close(fd_); }
  OpenWatch(const OpenWatch&) = delete;
  OpenWatch& operator=(const OpenWatch&) = delete;

  void Watch(const std::string& path) { inotify_add_watch(fd_, path.c_str(), IN_OPEN); }

  // Opens seen since the last call.
  int Opens() {
    int count = 0;
    alignas(inotify_event) char events[4096];
    for (ssize_t got; (got = read(fd_, events, sizeof events)) > 0;) {
      for (char* at = events; at < events + got;) {
        const auto* event = reinterpret_cast<const inotify_event*>(at);
        count += (event->mask & IN_OPEN) ? 1 : 0;
        at += sizeof(inotify_event) + event->len;
      }
    }
    return count;
  }

 private:
  int fd_;
};
