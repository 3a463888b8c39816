#include "serial/linux/tty_device.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "serial/comm_error.h"
#include "serial/linux/line_guard.h"
#include "serial/linux/open_failure_text.h"
#include "serial/linux/serial_line_check.h"

namespace {

// The kernel's line discipline holds no more than this many received bytes.
constexpr std::size_t kLargestRead = 4096;
// Guards the write time-out against a rate of 0 (B0).
constexpr std::uint32_t kSlowestRate = 50;
// The shortest sleep of a wait on the queue counts: short enough that the clock read after it
// is still the millisecond in which the count changed.
constexpr std::chrono::microseconds kShortestSleep{200};

[[noreturn]] void Refuse(const std::string& path, int error) {
  const bool denied = error == EACCES || error == EPERM;
  throw CommError(CommErrorNumber::PortUnavailable,
                  OpenFailureText(path, error, denied ? JoinableGroup(path) : std::string()));
}

std::optional<tcflag_t> SizeBits(std::uint8_t byteSize) {
  switch (byteSize) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return std::nullopt;
  }
}

std::uint8_t ByteSizeOf(tcflag_t cflag) {
  switch (cflag & CSIZE) {
    case CS5: return 5;
    case CS6: return 6;
    case CS7: return 7;
    default: return 8;
  }
}

std::optional<tcflag_t> ParityBits(std::uint8_t parity) {
  switch (parity) {
    case NOPARITY: return 0;
    case ODDPARITY: return PARENB | PARODD;
    case EVENPARITY: return PARENB;
    case MARKPARITY: return PARENB | CMSPAR | PARODD;
    case SPACEPARITY: return PARENB | CMSPAR;
    default: return std::nullopt;
  }
}

std::uint8_t ParityOf(tcflag_t cflag) {
  if (!(cflag & PARENB)) {
    return NOPARITY;
  }
  if (cflag & CMSPAR) {
    return (cflag & PARODD) ? MARKPARITY : SPACEPARITY;
  }
  return (cflag & PARODD) ? ODDPARITY : EVENPARITY;
}

// Bytes pass untouched both ways: no break, parity-mark, CR/NL or XON/XOFF handling, no echo,
// no line editing, no signals, no hardware flow control, and carrier is ignored.
void MakeRaw(termios2& settings) {
  settings.c_iflag = 0;
  settings.c_oflag = 0;
  settings.c_lflag = 0;
  settings.c_cflag &= ~CRTSCTS;
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) {
      close(fd_);
    }
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return fd_; }

 private:
  int fd_;
};

class TtyDevice final : public SerialDevice {
 public:
  // Nothing on the line changes until it is known to be a tty that no other program holds, and
  // from then on the guard puts it back however this program ends.
  // checked: the device number the path was checked to be.
  TtyDevice(const std::string& path, dev_t checked)
      : path_(path), fd_(open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {
    if (fd_.Get() < 0) {
      Refuse(path_, errno);
    }
    struct stat info {};
    if (fstat(fd_.Get(), &info) != 0) {
      Refuse(path_, errno);
    }
    // The path was swapped for another device between the check and the open.
    if (info.st_rdev != checked) {
      Refuse(path_, ENOTTY);
    }
    termios2 original{};
    if (!S_ISCHR(info.st_mode) || ioctl(fd_.Get(), TCGETS2, &original) != 0) {
      Refuse(path_, ENOTTY);
    }
    // Root opens a line that another program holds in exclusive mode: ask, and leave it be.
    int heldExclusively = 0;
    if (ioctl(fd_.Get(), TIOCGEXCL, &heldExclusively) == 0 && heldExclusively) {
      Refuse(path_, EBUSY);
    }
    if (flock(fd_.Get(), LOCK_EX | LOCK_NB) != 0) {
      Refuse(path_, errno);
    }
    if (ioctl(fd_.Get(), TIOCEXCL) != 0) {
      Refuse(path_, errno);
    }
    guard_.Take(fd_.Get(), original);
    termios2 raw = original;
    MakeRaw(raw);
    if (ioctl(fd_.Get(), TCSETS2, &raw) != 0) {
      Refuse(path_, errno);
    }
  }

  ~TtyDevice() override = default;

  DCB State() override {
    const termios2 settings = Termios();
    DCB dcb;
    dcb.DCBlength = kDcbLength;
    dcb.BaudRate = settings.c_ospeed;
    dcb.ByteSize = ByteSizeOf(settings.c_cflag);
    dcb.Parity = ParityOf(settings.c_cflag);
    dcb.StopBits = (settings.c_cflag & CSTOPB) ? TWOSTOPBITS : ONESTOPBIT;
    return dcb;
  }

  bool Apply(const DCB& dcb) override {
    const std::optional<tcflag_t> size = SizeBits(dcb.ByteSize);
    const std::optional<tcflag_t> parity = ParityBits(dcb.Parity);
    // A rate of 0 would hang the line up rather than set it.
    if (!size || !parity || dcb.StopBits > TWOSTOPBITS || dcb.BaudRate == 0) {
      return false;
    }
    termios2 settings = Termios();
    settings.c_cflag &= ~(CBAUD | CIBAUD | CSIZE | PARENB | PARODD | CMSPAR | CSTOPB);
    settings.c_cflag |= BOTHER | (BOTHER << IBSHIFT) | *size | *parity;
    // Linux has no 1.5 stop bits; CSTOPB gives them on 5-bit characters.
    if (dcb.StopBits != ONESTOPBIT) {
      settings.c_cflag |= CSTOPB;
    }
    settings.c_ispeed = dcb.BaudRate;
    settings.c_ospeed = dcb.BaudRate;
    const termios2 before = Termios();
    if (ioctl(fd_.Get(), TCSETS2, &settings) != 0) {
      if (errno == EINVAL) {
        return false;
      }
      Fail("setting the line", errno);
    }
    // A driver may put in the nearest rate its chip makes and say so: one far from the rate
    // asked (a CP2102's 9600 for 8192) is refused, as Windows refuses it, and the line keeps
    // the rate it had.
    if (!RateTakenAsAsked(Termios().c_ospeed, dcb.BaudRate)) {
      ioctl(fd_.Get(), TCSETS2, &before);
      return false;
    }
    // Some drivers drop or raise the modem lines on a termios change.
    AssertModemLines();
    return true;
  }

  void SetModemLines(bool dtr, bool rts) override {
    modemLines_ = ModemLines{dtr, rts};
    AssertModemLines();
  }

  int InputCount() override {
    int count = 0;
    Control(TIOCINQ, &count, "counting input");
    return count;
  }

  int OutputCount() override {
    int count = 0;
    Control(TIOCOUTQ, &count, "counting output");
    return count;
  }

  bool WaitForInput(std::int32_t count, std::int32_t ms) override {
    const int waiting = InputCount();
    if (waiting >= count) {
      return true;
    }
    if (ms <= 0) {
      return false;
    }
    // Readable means some byte waits, so once one does only the line rate tells when the rest
    // can be in.
    if (waiting == 0) {
      WaitUntilReady(POLLIN, ms, "waiting for input");
    } else {
      SleepTowards(count - waiting, ms);
    }
    return InputCount() >= count;
  }

  bool WaitForOutputEmpty(std::int32_t ms) override {
    const int queued = OutputCount();
    if (queued == 0) {
      return true;
    }
    if (ms <= 0) {
      return false;
    }
    SleepTowards(queued, ms);
    return OutputCount() == 0;
  }

  void DiscardInput() override { Control(TCFLSH, TCIFLUSH, "discarding input"); }
  void DiscardOutput() override { Control(TCFLSH, TCOFLUSH, "discarding output"); }

  void Write(std::span<const std::uint8_t> bytes) override {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t count = write(fd_.Get(), bytes.data() + sent, bytes.size() - sent);
      if (count > 0) {
        sent += static_cast<std::size_t>(count);
      } else if (count == 0 || errno == EAGAIN) {
        WaitUntilWritable();
      } else if (errno != EINTR) {
        Fail("writing", errno);
      }
    }
  }

  ByteBuffer Read(std::size_t max) override {
    ByteBuffer bytes;
    if (max == 0) {
      return bytes;
    }
    pollfd entry{fd_.Get(), POLLIN, 0};
    if (poll(&entry, 1, 0) < 0) {
      Fail("reading", errno);
    }
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      Fail("reading", EIO);
    }
    if (!(entry.revents & POLLIN)) {
      return bytes;
    }
    bytes.resize(std::min(max, kLargestRead));
    ssize_t count = 0;
    do {
      count = read(fd_.Get(), bytes.data(), bytes.size());
    } while (count < 0 && errno == EINTR);
    if (count < 0 && errno != EAGAIN) {
      Fail("reading", errno);
    }
    // Readable yet no data: the device has hung up.
    if (count == 0) {
      Fail("reading", EIO);
    }
    bytes.resize(count < 0 ? 0 : static_cast<std::size_t>(count));
    return bytes;
  }

  void SetFarewell(std::span<const std::uint8_t> bytes) override { guard_.SetFarewell(bytes); }

  bool Lost() const override { return lost_; }

 private:
  struct ModemLines {
    bool dtr;
    bool rts;
  };

  termios2 Termios() {
    termios2 settings{};
    Control(TCGETS2, &settings, "reading the line settings");
    return settings;
  }

  template <typename Arg>
  void Control(unsigned long request, Arg arg, const char* action) {
    if (ioctl(fd_.Get(), request, arg) != 0) {
      Fail(action, errno);
    }
  }

  void AssertModemLines() {
    if (modemLines_) {
      SetLine(TIOCM_DTR, modemLines_->dtr);
      SetLine(TIOCM_RTS, modemLines_->rts);
    }
  }

  void SetLine(int line, bool raised) {
    if (ioctl(fd_.Get(), raised ? TIOCMBIS : TIOCMBIC, &line) == 0) {
      return;
    }
    // A pty has no modem lines (ENOTTY) and some drivers refuse them (EINVAL).
    if (errno != ENOTTY && errno != EINVAL) {
      Fail("setting the modem lines", errno);
    }
  }

  // Sleeps half the time that bytes characters take on the line at the rate in force, so that a
  // line a little faster than its rate is not overslept, within the shortest sleep and ms.
  void SleepTowards(long long bytes, std::int32_t ms) {
    const std::uint32_t rate = std::max(Termios().c_ospeed, kSlowestRate);
    const std::chrono::microseconds half{bytes * 10'000'000 / rate / 2};
    std::this_thread::sleep_for(
        std::clamp<std::chrono::microseconds>(half, kShortestSleep, std::chrono::milliseconds(ms)));
  }

  // Blocks until the descriptor is ready for the events, for at most ms. A signal ends the wait
  // early; a hung-up or failed device raises.
  void WaitUntilReady(short events, std::int32_t ms, const char* action) {
    pollfd entry{fd_.Get(), events, 0};
    const int ready = poll(&entry, 1, ms);
    if (ready < 0 && errno != EINTR) {
      Fail(action, errno);
    }
    if (ready > 0 && (entry.revents & (POLLERR | POLLHUP | POLLNVAL))) {
      Fail(action, EIO);
    }
  }

  // The output queue is full. It must take more within the time its bytes need to leave at the
  // rate in force (10 bits a character) plus 2 s for a slow driver, or the device has stopped.
  void WaitUntilWritable() {
    const std::uint32_t rate = std::max(Termios().c_ospeed, kSlowestRate);
    const long long queued = OutputCount();
    pollfd entry{fd_.Get(), POLLOUT, 0};
    int ready = 0;
    do {
      ready = poll(&entry, 1, static_cast<int>(2000 + queued * 10'000 / rate));
    } while (ready < 0 && errno == EINTR);
    if (ready < 0) {
      Fail("writing", errno);
    }
    if (ready == 0) {
      Fail("writing", ETIMEDOUT);
    }
    if (entry.revents & (POLLERR | POLLHUP | POLLNVAL)) {
      Fail("writing", EIO);
    }
  }

  [[noreturn]] void Fail(const char* action, int error) {
    lost_ = true;
    throw CommError(CommErrorNumber::DeviceFailure,
                    path_ + " stopped answering while " + action + " (" + std::strerror(error) +
                        "): is the cable still plugged in?");
  }

  std::string path_;
  FileDescriptor fd_;
  // Declared after the descriptor: the line is put back before the descriptor closes.
  GuardedLine guard_;
  std::optional<ModemLines> modemLines_;
  bool lost_ = false;
};

}  // namespace

bool RateTakenAsAsked(std::uint32_t running, std::uint32_t asked) {
  const double ratio = static_cast<double>(running) / asked;
  return ratio > 0.99 && ratio < 1.01;
}

std::unique_ptr<SerialDevice> OpenTtyDevice(const std::string& path, const SystemRoots& roots) {
  return std::make_unique<TtyDevice>(path, CheckSerialLine(path, roots));
}
