#include "serial/linux/tty_kind.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// Device numbers the kernel fixes (its devices.txt).
constexpr unsigned kTtyMajor = 4;             // minors 0-63 are the virtual consoles
constexpr unsigned kLastVirtualConsole = 63;
constexpr unsigned kTtyAuxMajor = 5;          // minors 0 /dev/tty, 1 /dev/console, 2 /dev/ptmx
constexpr unsigned kFirstPtySlaveMajor = 136;  // 136 to 143: Unix98 pty slaves
constexpr unsigned kLastPtySlaveMajor = 143;

std::string DeviceNumber(dev_t device) {
  return std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

std::string LinkName(const fs::path& link) {
  std::error_code error;
  const fs::path target = fs::read_symlink(link, error);
  return error ? "" : target.filename().string();
}

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

bool ListsWord(const fs::path& file, const std::string& word) {
  std::ifstream in(file);
  for (std::string each; in >> each;) {
    if (each == word) return true;
  }
  return false;
}

// The device's folder in sysfs tells its subsystem, whether hardware is behind it, its UART type
// and whether the kernel's console runs on it.
TtyFacts FromSysfs(const fs::path& entry, const SystemRoots& roots) {
  TtyFacts facts;
  std::error_code error;
  facts.sysfsDir = fs::canonical(entry, error);
  if (error) facts.sysfsDir = entry;
  facts.name = facts.sysfsDir.filename().string();
  if (LinkName(facts.sysfsDir / "subsystem") != "tty") {
    facts.kind = TtyKind::NotTty;
  } else if (!Exists(facts.sysfsDir / "device")) {
    facts.kind = TtyKind::VirtualTty;
  } else if (ReadAttribute(facts.sysfsDir / "type") == "0") {
    facts.kind = TtyKind::EmptyUartSlot;
  } else {
    facts.kind = TtyKind::SerialLine;
    facts.kernelConsole = ListsWord(roots.sysfs / "class/tty/console/active", facts.name);
  }
  return facts;
}

// Without sysfs: the tty drivers the kernel lists in /proc, and its consoles by device number.
TtyFacts FromProcfs(dev_t device, const SystemRoots& roots) {
  TtyFacts facts;
  std::ifstream drivers(roots.procfs / "tty/drivers");
  if (!drivers) return facts;
  facts.kind = TtyKind::NotTty;
  for (std::string line; std::getline(drivers, line);) {
    std::istringstream fields(line);
    std::string driver, path, minors, type;
    unsigned driverMajor = 0;
    if (!(fields >> driver >> path >> driverMajor >> minors >> type) ||
        driverMajor != major(device)) {
      continue;
    }
    unsigned first = 0, last = 0;
    char dash = 0;
    std::istringstream range(minors);
    range >> first;
    last = (range >> dash >> last) ? last : first;
    if (minor(device) < first || minor(device) > last || type != "serial") continue;
    facts.kind = TtyKind::SerialLine;
    facts.name = fs::path(path).filename().string() + std::to_string(minor(device) - first);
  }
  std::ifstream consoles(roots.procfs / "consoles");
  for (std::string line; std::getline(consoles, line);) {
    if (line.ends_with(" " + DeviceNumber(device))) facts.kernelConsole = true;
  }
  return facts;
}

// The controlling terminal from the seventh field of /proc/self/stat, in the kernel's encoding.
std::optional<dev_t> ControllingTerminal(const SystemRoots& roots) {
  std::ifstream stat(roots.procfs / "self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  const auto afterName = text.rfind(')');
  if (afterName == std::string::npos) return std::nullopt;
  std::istringstream fields(text.substr(afterName + 1));
  std::string state;
  long parent = 0, group = 0, session = 0;
  unsigned long terminal = 0;
  if (!(fields >> state >> parent >> group >> session >> terminal) || terminal == 0) {
    return std::nullopt;
  }
  return makedev((terminal >> 8) & 0xfff, (terminal & 0xff) | ((terminal >> 12) & 0xfff00));
}

}  // namespace

std::string ReadAttribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.pop_back();
  return line;
}

TtyFacts ClassifyCharDevice(dev_t device, const SystemRoots& roots) {
  const unsigned number = minor(device);
  if (major(device) == kTtyAuxMajor && number <= 2) {
    constexpr TtyKind kAux[] = {TtyKind::CallerTerminal, TtyKind::SystemConsole,
                                TtyKind::PtyMultiplexer};
    constexpr const char* kNames[] = {"tty", "console", "ptmx"};
    return {kAux[number], kNames[number], {}, false};
  }
  if (major(device) == kTtyMajor && number <= kLastVirtualConsole) {
    return {TtyKind::VirtualConsole, "tty" + std::to_string(number), {}, false};
  }
  const fs::path entry = roots.sysfs / "dev/char" / DeviceNumber(device);
  std::error_code error;
  if (fs::is_symlink(entry, error) || Exists(entry)) return FromSysfs(entry, roots);
  if (major(device) >= kFirstPtySlaveMajor && major(device) <= kLastPtySlaveMajor) {
    return {TtyKind::PtySlave, "pts/" + std::to_string(number), {}, false};
  }
  // Sysfs lists every registered character device; a number it lacks is no tty.
  if (Exists(roots.sysfs / "dev/char")) return {TtyKind::NotTty, "", {}, false};
  return FromProcfs(device, roots);
}

bool IsOwnTerminal(dev_t device, const SystemRoots& roots) {
  if (ControllingTerminal(roots) == device) return true;
  for (int stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    struct stat info {};
    if (fstat(stream, &info) == 0 && S_ISCHR(info.st_mode) && info.st_rdev == device &&
        isatty(stream)) {
      return true;
    }
  }
  return false;
}
