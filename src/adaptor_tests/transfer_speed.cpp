#include "adaptor_tests/transfer_speed.h"

#include <algorithm>

namespace {

constexpr float kLowestGoodRate = 7782;
constexpr float kHighestGoodRate = 8600;
// Handing the block over and the first character's way back.
constexpr float kElapsedCorrectionMs = 10;

}  // namespace

TransferSpeed TransferSpeedFromElapsed(std::uint32_t elapsedMs) {
  const float corrected = std::max(static_cast<float>(elapsedMs) - kElapsedCorrectionMs, 1.0f);
  const auto measured = static_cast<float>(double{kSpeedBlockSize} * 10000.0 / corrected);
  return {measured, measured >= kLowestGoodRate && measured <= kHighestGoodRate};
}
