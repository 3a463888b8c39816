#include "support/pty_pair.h"

#include <asm/termbits.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <system_error>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void RaiseErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

timespec Remaining(Clock::time_point deadline) {
  const auto left = std::max(deadline - Clock::now(), Clock::duration::zero());
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(left);
  const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds);
  return timespec{static_cast<time_t>(seconds.count()), static_cast<long>(nanoseconds.count())};
}

}  // namespace

PtyPair::PtyPair(Mode mode) {
  masterFd_ = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (masterFd_ < 0 || grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0) {
    RaiseErrno("opening a pty");
  }
  slavePath_ = ptsname(masterFd_);
  slaveFd_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slaveFd_ < 0 || pipe2(stopPipe_, O_CLOEXEC) != 0) {
    RaiseErrno("opening the pty slave");
  }
  if (mode == Mode::Echo) {
    echo_ = std::thread([this] { Echo(); });
  }
}

PtyPair::~PtyPair() {
  StopEcho();
  for (int fd : {masterFd_, slaveFd_, stopPipe_[0], stopPipe_[1]}) {
    if (fd >= 0) {
      close(fd);
    }
  }
}

void PtyPair::Send(std::span<const std::uint8_t> bytes) {
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (!bytes.empty()) {
    const ssize_t count = write(masterFd_, bytes.data(), bytes.size());
    if (count > 0) {
      bytes = bytes.subspan(static_cast<std::size_t>(count));
    } else if (errno != EAGAIN || WaitFor(POLLOUT, deadline, true) != Wait::Ready) {
      RaiseErrno("sending from the far end");
    }
  }
}

ByteBuffer PtyPair::Receive(std::size_t count, std::chrono::milliseconds limit) {
  const auto deadline = Clock::now() + limit;
  ByteBuffer received(count);
  std::size_t got = 0;
  while (got < count && WaitFor(POLLIN, deadline, true) == Wait::Ready) {
    const ssize_t n = read(masterFd_, received.data() + got, count - got);
    if (n > 0) {
      got += static_cast<std::size_t>(n);
    }
  }
  received.resize(got);
  return received;
}

void PtyPair::HangUp() {
  StopEcho();
  close(masterFd_);
  masterFd_ = -1;
}

PtyPair::Wait PtyPair::WaitFor(short events, Clock::time_point deadline, bool watchMaster) {
  pollfd entries[2] = {{stopPipe_[0], POLLIN, 0}, {watchMaster ? masterFd_ : -1, events, 0}};
  while (true) {
    const timespec left = Remaining(deadline);
    const int ready = ppoll(entries, 2, &left, nullptr);
    if (ready < 0 && errno == EINTR) {
      continue;
    }
    if (ready < 0) {
      RaiseErrno("waiting on the pty");
    }
    if (entries[0].revents != 0) {
      return Wait::Stopped;
    }
    return ready == 0 ? Wait::TimedOut : Wait::Ready;
  }
}

// Each byte k of a burst goes back (k + 1) character times after the burst began, or after the
// previous echo finished if that is later, as a looped-back cable at the slave's rate returns it.
void PtyPair::Echo() {
  const auto forever = Clock::now() + std::chrono::hours(24);
  auto lineFree = Clock::now();
  std::uint8_t burst[4096];
  while (WaitFor(POLLIN, forever, true) == Wait::Ready) {
    const ssize_t count = read(masterFd_, burst, sizeof burst);
    if (count < 0 && errno == EAGAIN) {
      continue;
    }
    if (count <= 0) {
      return;
    }
    const auto character = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(10.0 / std::max<std::uint32_t>(SlaveRate(), 1)));
    const auto start = std::max(Clock::now(), lineFree);
    for (ssize_t k = 0; k < count; ++k) {
      lineFree = start + character * (k + 1);
      if (WaitFor(0, lineFree, false) == Wait::Stopped) {
        return;
      }
      while (write(masterFd_, &burst[k], 1) != 1) {
        if (errno != EAGAIN || WaitFor(POLLOUT, forever, true) != Wait::Ready) {
          return;
        }
      }
    }
  }
}

void PtyPair::StopEcho() {
  if (echo_.joinable()) {
    const char stop = 1;
    if (write(stopPipe_[1], &stop, 1) != 1) {
      RaiseErrno("stopping the echo");
    }
    echo_.join();
  }
}

std::uint32_t PtyPair::SlaveRate() const {
  termios2 settings{};
  if (ioctl(slaveFd_, TCGETS2, &settings) != 0) {
    RaiseErrno("reading the slave's rate");
  }
  return settings.c_ospeed;
}
