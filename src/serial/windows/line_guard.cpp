#include "serial/windows/line_guard.h"

#include <array>
#include <atomic>
#include <stdexcept>

namespace {

// More ports than a tester ever holds at once.
constexpr std::size_t kSlots = 16;

enum SlotState : int { kFree, kFilling, kTaken, kRestoring };

struct Slot {
  std::atomic<int> state = kFree;
  HANDLE port = INVALID_HANDLE_VALUE;
  Win32Dcb original{};
};

std::array<Slot, kSlots> slots;

// Setting the block back sets DTR and RTS as it holds them, too.
void PutBack(Slot& slot) noexcept { SetCommState(slot.port, &slot.original); }

// Whoever moves a slot from taken to restoring puts it back; the other finds nothing to do.
void RestoreOnce(Slot& slot) noexcept {
  int taken = kTaken;
  if (!slot.state.compare_exchange_strong(taken, kRestoring)) return;
  PutBack(slot);
  slot.state = kFree;
}

}  // namespace

void GuardedLine::Take(HANDLE port, const Win32Dcb& original) {
  Release();
  for (std::size_t i = 0; i < kSlots; ++i) {
    int free = kFree;
    if (!slots[i].state.compare_exchange_strong(free, kFilling)) continue;
    slots[i].port = port;
    slots[i].original = original;
    slots[i].state = kTaken;
    slot_ = static_cast<int>(i);
    return;
  }
  throw std::length_error("too many serial ports open at once");
}

void GuardedLine::Release() {
  if (slot_ < 0) return;
  RestoreOnce(slots[static_cast<std::size_t>(slot_)]);
  slot_ = -1;
}

void RestoreGuardedLines() noexcept {
  for (Slot& slot : slots) RestoreOnce(slot);
}
