#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "common/aldl_frame.h"

// A byte as the port received it, with the clock reading it was read at.
struct TimedByte {
  std::uint8_t byte;
  std::int32_t atMs;
};

// A frame found among the bytes: where it starts and how long it is, and whether its checksum
// adds up. A frame whose checksum does not add up is found only for an ID the caller expects
// (its own request's, the one it asked), or garbage would pass for frames.
struct FoundFrame {
  std::size_t start;
  std::size_t length;
  bool checksumGood;
};

struct FoundFrames {
  std::vector<FoundFrame> frames;
  std::vector<std::size_t> unframed;  // positions of the bytes that are in no frame
  // Where a frame begins that has not come whole yet; only while more bytes may come.
  std::optional<std::size_t> partialFrom;
};

// Finds the frames by their structure and checksum, not by the gaps between them, which USB
// blurs: at each byte, the length byte after it names a frame whose bytes add up to 0, or the
// byte belongs to no frame. complete says no more bytes will come: a frame that is not whole is
// then no frame.
FoundFrames FindFrames(std::span<const std::uint8_t> bytes, const std::set<std::uint8_t>& expectedIds,
                       bool complete);

// The bytes of timed bytes, for the finder.
std::vector<std::uint8_t> BytesOf(std::span<const TimedByte> timed);
