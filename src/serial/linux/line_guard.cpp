#include "serial/linux/line_guard.h"

#include <asm/termbits.h>
#include <sys/file.h>
#include <sys/ioctl.h>

#include <array>
#include <atomic>
#include <csignal>
#include <stdexcept>

namespace {

// More lines than a tester ever holds at once; the probe holds one at a time.
constexpr std::size_t kSlots = 16;

struct Slot {
  volatile std::sig_atomic_t taken = 0;
  int fd = -1;
  termios2 original{};
  int modemLines = -1;  // DTR and RTS as found; -1 for a line without them (a pty)
};

std::array<Slot, kSlots> slots;

void PutBack(const Slot& slot) noexcept {
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

void RestoreGuardedLines() noexcept {
  for (Slot& slot : slots) {
    if (!slot.taken) continue;
    slot.taken = 0;
    PutBack(slot);
  }
}
