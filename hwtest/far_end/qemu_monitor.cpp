#include "qemu_monitor.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

namespace {

constexpr std::string_view kPrompt = "(qemu) ";
constexpr int kAnswerTimeoutMs = 5000;

class Socket {
 public:
  explicit Socket(const std::string& path) : fd_(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (fd_ < 0 || connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot reach the QEMU monitor at " + path + ": " +
                               std::strerror(errno));
    }
  }
  ~Socket() { close(fd_); }
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  // Everything up to and including the next prompt.
  std::string ReadToPrompt() {
    std::string text;
    while (text.find(kPrompt) == std::string::npos) {
      pollfd entry{fd_, POLLIN, 0};
      char chunk[512];
      if (poll(&entry, 1, kAnswerTimeoutMs) <= 0) throw std::runtime_error("QEMU monitor is silent");
      const ssize_t count = read(fd_, chunk, sizeof chunk);
      if (count <= 0) throw std::runtime_error("QEMU monitor closed the connection");
      text.append(chunk, static_cast<std::size_t>(count));
    }
    return text;
  }

  void Send(const std::string& text) {
    if (write(fd_, text.data(), text.size()) != static_cast<ssize_t>(text.size())) {
      throw std::runtime_error("cannot write to the QEMU monitor");
    }
  }

 private:
  int fd_;
};

// The monitor echoes the command line and may colour or redraw it; only the lines after the
// echo are its answer.
std::string AnswerIn(const std::string& text, const std::string& command) {
  std::string answer = text.substr(0, text.rfind(kPrompt));
  const auto echo = answer.find(command);
  if (echo != std::string::npos) {
    const auto lineEnd = answer.find('\n', echo);
    answer = lineEnd == std::string::npos ? "" : answer.substr(lineEnd + 1);
  }
  std::string clean;
  for (const char c : answer) {
    if (c != '\r' && c != '\x1b') clean += c;
  }
  while (!clean.empty() && (clean.back() == '\n' || clean.back() == ' ')) clean.pop_back();
  return clean;
}

}  // namespace

std::string MonitorCommand(const std::string& socketPath, const std::string& command) {
  Socket monitor(socketPath);
  monitor.ReadToPrompt();
  monitor.Send(command + "\n");
  return AnswerIn(monitor.ReadToPrompt(), command);
}
