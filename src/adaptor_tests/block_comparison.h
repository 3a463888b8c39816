#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Where bytes of a block went missing or changed: the first position (counted from 0 in the block
// sent), how many, and the spacing between them when they are evenly spaced.
struct Positions {
  std::int32_t first;
  std::int32_t count;
  std::optional<std::int32_t> spacing;
  friend bool operator==(const Positions&, const Positions&) = default;
};

// A block as it came back against the block sent: the bytes lost on the way, those that came back
// changed, and for each bit how many changed bytes had it wrong each way.
struct BlockComparison {
  std::optional<Positions> missing;
  std::optional<Positions> altered;
  std::array<std::int32_t, 8> bitSet{};      // came back 1, sent 0
  std::array<std::int32_t, 8> bitCleared{};  // came back 0, sent 1
  bool Same() const { return !missing && !altered; }
};

// Lines the bytes that came back up with those sent: a byte that matches one a little further on
// in the block, with the next few after it, means the ones between were lost; any other
// difference is a changed byte. Bytes back beyond the block are not compared.
BlockComparison CompareBlocks(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> received);

// The positions as first, count and spacing; nothing for none.
std::optional<Positions> Summarised(const std::vector<std::int32_t>& positions);
