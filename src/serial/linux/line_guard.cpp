#include "serial/linux/line_guard.h"

#include <asm/termbits.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <csignal>
#include <stdexcept>

namespace {

// More lines than a tester ever holds at once; the probe holds one at a time.
constexpr std::size_t kSlots = 16;
constexpr std::size_t kLongestFarewell = 16;
// A farewell has this long to leave, in steps of the second, before the line is put back.
constexpr int kFarewellSteps = 50;
constexpr timespec kFarewellStep{0, 2'000'000};
// What a USB chip still holds once its driver's queue is empty.
constexpr timespec kChipFifoDrain{0, 20'000'000};
// It cannot wait for a free line: it goes out twice, a frame's gap apart, so that one that meets
// another module's frame is not all there is.
constexpr int kFarewellTimes = 2;

struct Slot {
  volatile std::sig_atomic_t taken = 0;
  int fd = -1;
  termios2 original{};
  int modemLines = -1;  // DTR and RTS as found; -1 for a line without them (a pty)
  std::array<std::uint8_t, kLongestFarewell> farewell{};
  volatile std::sig_atomic_t farewellLength = 0;
};

std::array<Slot, kSlots> slots;

// Async-signal-safe: write, ioctl and nanosleep only. A line that fails (a pulled cable) takes
// nothing; one that does not drain is given up on.
void SayFarewell(Slot& slot) noexcept {
  const auto length = static_cast<std::size_t>(slot.farewellLength);
  if (length == 0) return;
  slot.farewellLength = 0;
  for (int time = 0; time < kFarewellTimes; ++time) {
    if (write(slot.fd, slot.farewell.data(), length) != static_cast<ssize_t>(length)) return;
    for (int step = 0; step < kFarewellSteps; ++step) {
      int queued = 0;
      if (ioctl(slot.fd, TIOCOUTQ, &queued) != 0 || queued == 0) break;
      nanosleep(&kFarewellStep, nullptr);
    }
    nanosleep(&kChipFifoDrain, nullptr);
  }
}

void PutBack(Slot& slot) noexcept {
  SayFarewell(slot);
  ioctl(slot.fd, TCSETS2, &slot.original);
  // Set after the settings: a driver may move the lines on a termios change.
  if (slot.modemLines >= 0) {
    const int raised = slot.modemLines & (TIOCM_DTR | TIOCM_RTS);
    const int dropped = ~slot.modemLines & (TIOCM_DTR | TIOCM_RTS);
    ioctl(slot.fd, TIOCMBIS, &raised);
    ioctl(slot.fd, TIOCMBIC, &dropped);
  }
  ioctl(slot.fd, TIOCNXCL);
  flock(slot.fd, LOCK_UN);
}

}  // namespace

void GuardedLine::Take(int fd, const termios2& original) {
  Release();
  for (std::size_t i = 0; i < kSlots; ++i) {
    if (slots[i].taken) continue;
    slots[i].fd = fd;
    slots[i].original = original;
    slots[i].farewellLength = 0;
    if (ioctl(fd, TIOCMGET, &slots[i].modemLines) != 0) slots[i].modemLines = -1;
    // A signal handler must never see a slot half filled in.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slots[i].taken = 1;
    slot_ = static_cast<int>(i);
    return;
  }
  throw std::length_error("too many serial lines open at once");
}

void GuardedLine::Release() {
  if (slot_ < 0) return;
  Slot& slot = slots[static_cast<std::size_t>(slot_)];
  // Put back before letting go of the slot: a signal in between puts it back once more, which
  // does no harm.
  PutBack(slot);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot.taken = 0;
  slot_ = -1;
}

void GuardedLine::SetFarewell(std::span<const std::uint8_t> bytes) {
  if (slot_ < 0) return;
  Slot& slot = slots[static_cast<std::size_t>(slot_)];
  // A signal handler sees either no farewell or a whole one.
  slot.farewellLength = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::size_t length = std::min(bytes.size(), kLongestFarewell);
  std::copy_n(bytes.begin(), length, slot.farewell.begin());
  std::atomic_signal_fence(std::memory_order_seq_cst);
  slot.farewellLength = static_cast<std::sig_atomic_t>(length);
}

void RestoreGuardedLines() noexcept {
  for (Slot& slot : slots) {
    if (!slot.taken) continue;
    slot.taken = 0;
    PutBack(slot);
  }
}
