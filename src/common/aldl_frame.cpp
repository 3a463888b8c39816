#include "common/aldl_frame.h"

#include <algorithm>
#include <numeric>

std::optional<std::size_t> FrameLengthOf(std::uint8_t lengthByte) {
  if (lengthByte < kLengthByteOffset + kShortestFrame) return std::nullopt;
  return lengthByte - kLengthByteOffset;
}

FrameBytes MakeFrame(std::uint8_t id, std::uint8_t mode, std::span<const std::uint8_t> data) {
  // ID, length, mode, data, checksum.
  FrameBytes frame(4 + data.size());
  frame[0] = id;
  frame[1] = static_cast<std::uint8_t>(kLengthByteOffset + frame.size());
  frame[2] = mode;
  std::ranges::copy(data, frame.begin() + 3);
  const unsigned sum = std::accumulate(frame.begin(), frame.end() - 1, 0U);
  frame.back() = static_cast<std::uint8_t>(0x100 - sum % 0x100);
  return frame;
}

bool ChecksumAddsUp(std::span<const std::uint8_t> frame) {
  return std::accumulate(frame.begin(), frame.end(), 0U) % 0x100 == 0;
}

std::optional<std::uint8_t> ModeOf(std::span<const std::uint8_t> frame) {
  if (frame.size() <= kShortestFrame) return std::nullopt;
  return frame[2];
}
