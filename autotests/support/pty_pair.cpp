#include "support/pty_pair.h"

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

#include "link/clock.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kOpenFlags = O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;

// The result of a system call, which raises its errno when the call failed.
template <typename Result>
Result Checked(Result result, const char* what) {
  if (result < 0) throw std::system_error(errno, std::generic_category(), what);
  return result;
}

// Whether the fd becomes ready for the events within the time limit.
bool Ready(int fd, short events, std::chrono::milliseconds limit) {
  pollfd entry{fd, events, 0};
  int ready = 0;
  while ((ready = poll(&entry, 1, static_cast<int>(limit.count()))) < 0 && errno == EINTR) {
  }
  return Checked(ready, "waiting on the pty") > 0;
}

}  // namespace

PtyPair::PtyPair(Mode mode, std::chrono::milliseconds echoLatency) {
  masterFd_ = Checked(posix_openpt(kOpenFlags), "opening a pty");
  Checked(grantpt(masterFd_), "granting the pty");
  Checked(unlockpt(masterFd_), "unlocking the pty");
  slavePath_ = ptsname(masterFd_);
  slaveFd_ = Checked(open(slavePath_.c_str(), kOpenFlags), "opening the pty slave");
  if (mode == Mode::Echo) {
    loop_.emplace().SetLatency(echoLatency);
    farEnd_ = std::thread([this] { Play(*loop_); });
  }
}

PtyPair::PtyPair(const CarFaults& car) : PtyPair(Mode::FarEnd) {
  car_.emplace(car);
  farEnd_ = std::thread([this] { Play(*car_); });
}

std::vector<FrameBytes> PtyPair::CarHeard() {
  std::lock_guard lock(lineMutex_);
  return car_->FramesHeard();
}

PtyPair::~PtyPair() {
  HangUp();
  close(slaveFd_);
}

void PtyPair::Send(std::span<const std::uint8_t> bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    Ready(masterFd_, POLLOUT, 10s);
    sent += static_cast<std::size_t>(
        Checked(write(masterFd_, bytes.data() + sent, bytes.size() - sent), "sending from the far end"));
  }
}

ByteBuffer PtyPair::Receive(std::size_t count, std::chrono::milliseconds limit) {
  ByteBuffer received(count);
  std::size_t got = 0;
  while (got < count && Ready(masterFd_, POLLIN, limit)) {
    got += static_cast<std::size_t>(
        Checked(read(masterFd_, received.data() + got, count - got), "receiving at the far end"));
  }
  received.resize(got);
  return received;
}

ByteBuffer PtyPair::LineSettings() const {
  termios2 settings{};
  Checked(ioctl(slaveFd_, TCGETS2, &settings), "reading the pty's settings");
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(&settings);
  return ByteBuffer(bytes, bytes + sizeof settings);
}

bool PtyPair::Exclusive() const {
  int exclusive = 0;
  Checked(ioctl(slaveFd_, TIOCGEXCL, &exclusive), "reading exclusive mode");
  return exclusive != 0;
}

bool PtyPair::Locked() const {
  // Only a program holding it in exclusive mode keeps a user other than root out.
  const int fd = open(slavePath_.c_str(), kOpenFlags);
  if (fd < 0) return true;
  const bool locked = flock(fd, LOCK_EX | LOCK_NB) != 0;
  close(fd);
  return locked;
}

void PtyPair::Lock() { Checked(flock(slaveFd_, LOCK_EX | LOCK_NB), "taking the pty's lock"); }

void PtyPair::Unlock() { Checked(flock(slaveFd_, LOCK_UN), "releasing the pty's lock"); }

void PtyPair::MakeExclusive() { Checked(ioctl(slaveFd_, TIOCEXCL), "setting exclusive mode"); }

void PtyPair::HangUp() {
  stop_ = true;
  if (farEnd_.joinable()) farEnd_.join();
  if (masterFd_ >= 0) close(masterFd_);
  masterFd_ = -1;
}

// What the tester sends goes onto the line paced at the slave's rate, and what the line carries
// comes back as each character ends. HangUp stops it within 10 ms.
template <typename Line>
void PtyPair::Play(Line& line) {
  // A cable is not kept waiting by other programs: the far end is woken on time as the waits are.
  timeBeginPeriod(1);
  std::uint8_t burst[4096];
  while (!stop_) {
    std::optional<SteadyClock::time_point> next;
    {
      std::lock_guard lock(lineMutex_);
      next = line.NextDue();
    }
    const auto wait = next ? std::clamp(std::chrono::ceil<std::chrono::milliseconds>(*next - SteadyClock::now()),
                                        0ms, 10ms)
                           : 10ms;
    const ssize_t count = Ready(masterFd_, POLLIN, wait) ? read(masterFd_, burst, sizeof burst) : 0;
    termios2 settings{};
    if ((count < 0 && errno != EAGAIN) || ioctl(slaveFd_, TCGETS2, &settings) != 0) return;
    std::vector<std::uint8_t> due;
    {
      std::lock_guard lock(lineMutex_);
      const auto now = SteadyClock::now();
      line.SetRate(settings.c_ospeed);
      if (count > 0) {
        echoed_ += static_cast<std::size_t>(count);
        line.Accept(std::span(burst, static_cast<std::size_t>(count)), now);
      }
      due = line.TakeDue(now);
    }
    if (!due.empty() && write(masterFd_, due.data(), due.size()) < 0 && errno != EAGAIN) return;
  }
}
