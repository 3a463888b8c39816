#include "serial/windows/line_guard.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <stdexcept>

namespace {

// More ports than a tester ever holds at once.
constexpr std::size_t kSlots = 16;
constexpr std::size_t kLongestFarewell = 16;
// It cannot wait for a free line: it goes out twice, a frame's gap apart, so that one that meets
// another module's frame is not all there is.
constexpr int kFarewellTimes = 2;
constexpr DWORD kFarewellGapMs = 20;

enum SlotState : int { kFree, kFilling, kTaken, kRestoring };

struct Slot {
  std::atomic<int> state = kFree;
  HANDLE port = INVALID_HANDLE_VALUE;
  Win32Dcb original{};
  std::array<std::uint8_t, kLongestFarewell> farewell{};
  std::atomic<std::size_t> farewellLength = 0;
};

std::array<Slot, kSlots> slots;

// The farewell leaves before the rate and the power lines change; a port that fails (a pulled
// cable) takes nothing.
void PutBack(Slot& slot) noexcept {
  const std::size_t length = slot.farewellLength.exchange(0);
  for (int time = 0; length > 0 && time < kFarewellTimes; ++time) {
    DWORD written = 0;
    if (!WriteFile(slot.port, slot.farewell.data(), static_cast<DWORD>(length), &written, nullptr)) break;
    FlushFileBuffers(slot.port);
    Sleep(kFarewellGapMs);
  }
  // Setting the block back sets DTR and RTS as it holds them, too.
  SetCommState(slot.port, &slot.original);
}

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
    slots[i].farewellLength = 0;
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

void GuardedLine::SetFarewell(std::span<const std::uint8_t> bytes) {
  if (slot_ < 0) return;
  Slot& slot = slots[static_cast<std::size_t>(slot_)];
  // The console's thread sees either no farewell or a whole one.
  slot.farewellLength = 0;
  const std::size_t length = std::min(bytes.size(), kLongestFarewell);
  std::copy_n(bytes.begin(), length, slot.farewell.begin());
  slot.farewellLength = length;
}

void RestoreGuardedLines() noexcept {
  for (Slot& slot : slots) RestoreOnce(slot);
}
