#include "support/pty_pair.h"

#include "link/clock.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>
#include <utility>

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

[[noreturn]] void RaiseErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

PtyPair::PtyPair(Mode mode, std::chrono::milliseconds echoLatency) : echoLatency_(echoLatency) {
  masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (masterFd_ < 0 || grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
    RaiseErrno("opening a pty");
  }
  slavePath_ = ptsname(masterFd_);
  slaveFd_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slaveFd_ < 0) RaiseErrno("opening the pty slave");
  if (mode == Mode::Echo) {
    echo_ = std::thread([this] { Echo(); });
  }
}

PtyPair::~PtyPair() {
  HangUp();
  close(slaveFd_);
}

void PtyPair::Send(std::span<const std::uint8_t> bytes) {
  while (!bytes.empty()) {
    const ssize_t count = write(masterFd_, bytes.data(), bytes.size());
    if (count > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(count));
    } else if (errno != EAGAIN || !Ready(POLLOUT, SteadyClock::now() + 10s)) {
      RaiseErrno("sending from the far end");
    }
  }
}

ByteBuffer PtyPair::Receive(std::size_t count, std::chrono::milliseconds limit) {
  const auto deadline = SteadyClock::now() + limit;
  ByteBuffer received(count);
  std::size_t got = 0;
  while (got < count && Ready(POLLIN, deadline)) {
    got += static_cast<std::size_t>(
        std::max<ssize_t>(read(masterFd_, received.data() + got, count - got), 0));
  }
  received.resize(got);
  return received;
}

ByteBuffer PtyPair::LineSettings() const {
  termios2 settings{};
  if (ioctl(slaveFd_, TCGETS2, &settings) != 0) RaiseErrno("reading the pty's settings");
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&settings);
  return ByteBuffer(bytes, bytes + sizeof settings);
}

bool PtyPair::Exclusive() const {
  int exclusive = 0;
  if (ioctl(slaveFd_, TIOCGEXCL, &exclusive) != 0) RaiseErrno("reading exclusive mode");
  return exclusive != 0;
}

bool PtyPair::Locked() const {
  const int fd = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return true;
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return locked;
}

void PtyPair::MakeExclusive() {
  if (ioctl(slaveFd_, TIOCEXCL) != 0) RaiseErrno("setting exclusive mode");
}

void PtyPair::HangUp() {
  stop_ = true;
  if (echo_.joinable()) echo_.join();
  if (masterFd_ >= 0) close(std::exchange(masterFd_, -1));
}

bool PtyPair::Ready(short events, SteadyClock::time_point deadline) const {
  pollfd entry{masterFd_, events, 0};
  while (true) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    const int ready = poll(&entry, 1, static_cast<int>(std::max<std::int64_t>(left.count(), 0)));
    if (ready >= 0) return ready > 0;
    if (errno != EINTR) RaiseErrno("waiting on the pty");
  }
}

// Each byte k of a burst goes back (k + 1) character times after the burst began, or after the
// previous echo finished if that is later, as a looped-back cable at the slave's rate returns it,
// plus the latency.
// HangUp stops it within 10 ms or a character time, whichever is longer.
void PtyPair::Echo() {
  // A cable is not kept waiting by other programs: the echo is woken on time as the waits are.
  timeBeginPeriod(1);
  auto lineFree = SteadyClock::now();
  std::uint8_t burst[4096];
  while (!stop_) {
    const ssize_t count =
        Ready(POLLIN, SteadyClock::now() + 10ms) ? read(masterFd_, burst, sizeof burst) : 0;
    termios2 settings{};
    if ((count < 0 && errno != EAGAIN) || ioctl(slaveFd_, TCGETS2, &settings) != 0) return;
    if (count > 0) echoed_ += static_cast<std::size_t>(count);
    const auto character = std::chrono::duration_cast<SteadyClock::duration>(
        std::chrono::duration<double>(10.0 / std::max<std::uint32_t>(settings.c_ospeed, 1)));
    const auto start = std::max(SteadyClock::now(), lineFree);
    for (ssize_t k = 0; k < count && !stop_; ++k) {
      lineFree = start + character * (k + 1);
      std::this_thread::sleep_until(lineFree + echoLatency_);
      while (!stop_ && write(masterFd_, &burst[k], 1) != 1) {
        if (errno != EAGAIN) return;
        Ready(POLLOUT, SteadyClock::now() + 10ms);
      }
    }
  }
}
