#include "serial/linux/serial_line_check.h"

#include <sys/stat.h>

#include <cerrno>

#include "serial/comm_error.h"
#include "serial/linux/open_failure_text.h"
#include "serial/linux/tty_kind.h"

namespace {

[[noreturn]] void Refuse(const std::string& reason) {
  throw CommError(CommErrorNumber::PortUnavailable, reason);
}

std::string FileKind(mode_t mode) {
  if (S_ISREG(mode)) return "a regular file";
  if (S_ISDIR(mode)) return "a directory";
  if (S_ISFIFO(mode)) return "a named pipe (FIFO)";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISBLK(mode)) return "a block device";
  return "not a device";
}

// Why a tty that is not a serial line is refused, or "" for a serial line or a pty slave.
std::string TtyRefusal(const std::string& path, const TtyFacts& tty) {
  switch (tty.kind) {
    case TtyKind::NotTty:
      return path + " is a character device but not a terminal, so not a serial device";
    case TtyKind::CallerTerminal:
      return path + " stands for the terminal of whoever runs this program, not a serial line";
    case TtyKind::SystemConsole:
      return path + " is the system console, not a serial line";
    case TtyKind::PtyMultiplexer:
      return path + " is the pseudo-terminal multiplexer: opening it would create a new "
                    "pseudo-terminal, not reach a serial line";
    case TtyKind::VirtualConsole:
      return path + " is the virtual console " + tty.name + ", not a serial line";
    case TtyKind::VirtualTty:
      return path + " is the virtual terminal " + tty.name + " with no hardware behind it, "
                    "not a serial line";
    case TtyKind::EmptyUartSlot:
      return path + " is a serial port slot with no UART behind it";
    case TtyKind::Unknown:
      return path + " cannot be shown to be a serial line: neither sysfs nor /proc/tty/drivers "
                    "can be read";
    case TtyKind::SerialLine:
      if (tty.kernelConsole) {
        return path + " is the kernel's console (" + tty.name +
               "): the tester leaves the line the kernel writes its messages to alone";
      }
      return "";
    case TtyKind::PtySlave:
      return "";
  }
  return "";
}

}  // namespace

dev_t CheckSerialLine(const std::string& path, const SystemRoots& roots) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) Refuse(OpenFailureText(path, errno, ""));
  if (!S_ISCHR(info.st_mode)) Refuse(path + " is " + FileKind(info.st_mode) + ", not a serial device");
  const TtyFacts tty = ClassifyCharDevice(info.st_rdev, roots);
  if (const std::string why = TtyRefusal(path, tty); !why.empty()) Refuse(why);
  if (IsOwnTerminal(info.st_rdev, roots)) {
    Refuse(path + " is the terminal this program runs on, not a serial line");
  }
  return info.st_rdev;
}
