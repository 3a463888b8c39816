#include "serial/linux/line_holders.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

// "minicom, process 1234", or "process 1234" when its name cannot be read.
std::string Program(const SystemRoots& roots, pid_t pid) {
  std::string name;
  std::getline(std::ifstream(roots.procfs / std::to_string(pid) / "comm"), name);
  return (name.empty() ? "" : name + ", ") + "process " + std::to_string(pid);
}

bool Alive(pid_t pid) { return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM); }

// A line of /proc/locks: "1: FLOCK  ADVISORY  WRITE 2431 00:05:1311 0 EOF"; a waiter's line has
// "->" after the number and holds nothing.
std::optional<pid_t> FlockHolder(const std::string& line, const struct stat& node) {
  std::istringstream fields(line);
  std::string number, kind, advisory, mode, file;
  pid_t pid = 0;
  if (!(fields >> number >> kind >> advisory >> mode >> pid >> file) || kind != "FLOCK") return std::nullopt;
  unsigned major = 0, minor = 0;
  unsigned long long inode = 0;
  if (std::sscanf(file.c_str(), "%x:%x:%llu", &major, &minor, &inode) != 3) return std::nullopt;
  if (major != ::major(node.st_dev) || minor != ::minor(node.st_dev) || inode != node.st_ino) return std::nullopt;
  return pid;
}

// LCK..ttyUSB0 for /dev/ttyUSB0, LCK..pts_7 for /dev/pts/7.
std::optional<pid_t> UucpLockHolder(const SystemRoots& roots, const std::string& path) {
  std::string name = path.starts_with("/dev/") ? path.substr(5) : std::filesystem::path(path).filename().string();
  std::ranges::replace(name, '/', '_');
  std::ifstream lock(roots.uucpLocks / ("LCK.." + name), std::ios::binary);
  return UucpLockPid(std::string((std::istreambuf_iterator<char>(lock)), std::istreambuf_iterator<char>()));
}

}  // namespace

std::optional<pid_t> UucpLockPid(const std::string& text) {
  // Text ("%10d\n") is digits with only white space around them; the old binary form is the
  // 4 bytes of the number, whose first may well be a digit's character.
  pid_t pid = 0;
  const auto first = text.find_first_not_of(' ');
  if (first != std::string::npos) {
    const auto [end, error] = std::from_chars(text.data() + first, text.data() + text.size(), pid);
    if (error == std::errc() && std::all_of(end, text.data() + text.size(), [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; })) {
      return pid;
    }
  }
  if (text.size() == sizeof(std::int32_t)) {
    std::int32_t binary = 0;
    std::memcpy(&binary, text.data(), sizeof binary);
    return binary;
  }
  return std::nullopt;
}

std::optional<std::string> LineHolder(const std::string& path, const SystemRoots& roots) {
  struct stat node {};
  if (stat(path.c_str(), &node) != 0) return std::nullopt;
  std::ifstream locks(roots.procfs / "locks");
  for (std::string line; std::getline(locks, line);) {
    if (const auto pid = FlockHolder(line, node)) return Program(roots, *pid);
  }
  if (const auto pid = UucpLockHolder(roots, path); pid && Alive(*pid)) {
    return Program(roots, *pid);
  }
  return std::nullopt;
}
