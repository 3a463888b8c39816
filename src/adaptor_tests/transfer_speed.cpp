#include "adaptor_tests/transfer_speed.h"

#include <algorithm>
#include <random>

#include "adaptor_tests/run_record.h"

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

std::optional<double> LineRate(std::int32_t bytesReceived, const BlockTiming& timing) {
  if (bytesReceived < 2 || !timing.firstByteMs || !timing.lastByteMs || *timing.lastByteMs <= *timing.firstByteMs) {
    return std::nullopt;
  }
  return (bytesReceived - 1) * 10.0 * 1000.0 / (*timing.lastByteMs - *timing.firstByteMs);
}

ByteBuffer RandomSpeedBlock(std::int32_t seed) {
  std::mt19937 generator(static_cast<std::uint32_t>(seed));
  std::uniform_int_distribution<int> byte(0, 254);
  ByteBuffer block(kSpeedBlockSize);
  for (auto& b : block) b = static_cast<std::uint8_t>(byte(generator));
  return block;
}
