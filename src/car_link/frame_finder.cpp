#include "car_link/frame_finder.h"

#include <algorithm>

FoundFrames FindFrames(std::span<const std::uint8_t> bytes, const std::set<std::uint8_t>& expectedIds,
                       bool complete) {
  FoundFrames found;
  for (std::size_t at = 0; at < bytes.size();) {
    const bool lengthHere = at + 1 < bytes.size();
    const auto length = lengthHere ? FrameLengthOf(bytes[at + 1]) : std::nullopt;
    if (!complete && (!lengthHere || (length && at + *length > bytes.size()))) {
      // Only an expected ID, or a byte whose length byte has not come, holds the rest back: a
      // stray byte claiming a long frame must not hide the frames after it.
      if (!lengthHere || expectedIds.contains(bytes[at])) {
        found.partialFrom = at;
        return found;
      }
    }
    if (length && at + *length <= bytes.size()) {
      const bool good = ChecksumAddsUp(bytes.subspan(at, *length));
      if (good || expectedIds.contains(bytes[at])) {
        found.frames.push_back({at, *length, good});
        at += *length;
        continue;
      }
    }
    found.unframed.push_back(at);
    ++at;
  }
  return found;
}

std::vector<std::uint8_t> BytesOf(std::span<const TimedByte> timed) {
  std::vector<std::uint8_t> bytes(timed.size());
  std::ranges::transform(timed, bytes.begin(), &TimedByte::byte);
  return bytes;
}
