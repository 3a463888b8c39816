#include "adaptor_tests/block_comparison.h"

#include <algorithm>
#include <map>

namespace {

// How far ahead a lost run of bytes is looked for, and how many bytes after it must agree.
constexpr std::size_t kLookAhead = 8;
constexpr std::size_t kConfirming = 4;
// Evenly spaced: at least four in five gaps alike.
constexpr std::size_t kEvenShare = 5;
constexpr std::size_t kEvenShareOf = 4;

// Whether received from j on agrees with sent from i on, for as many bytes as both have up to the
// confirming number.
bool AgreesFrom(std::span<const std::uint8_t> sent, std::size_t i, std::span<const std::uint8_t> received,
                std::size_t j) {
  const std::size_t length = std::min({kConfirming, sent.size() - i, received.size() - j});
  return length > 0 && std::equal(received.begin() + j, received.begin() + j + length, sent.begin() + i);
}

}  // namespace

std::optional<Positions> Summarised(const std::vector<std::int32_t>& positions) {
  if (positions.empty()) return std::nullopt;
  Positions summary{positions.front(), static_cast<std::int32_t>(positions.size()), std::nullopt};
  std::map<std::int32_t, std::size_t> gaps;
  for (std::size_t i = 1; i < positions.size(); ++i) ++gaps[positions[i] - positions[i - 1]];
  const auto common = std::ranges::max_element(gaps, {}, &std::pair<const std::int32_t, std::size_t>::second);
  // A lost byte that equals its neighbour shows one place off: most gaps alike is even spacing.
  if (common != gaps.end() && common->second * kEvenShare >= (positions.size() - 1) * kEvenShareOf) {
    summary.spacing = common->first;
  }
  return summary;
}

BlockComparison CompareBlocks(std::span<const std::uint8_t> sent, std::span<const std::uint8_t> received) {
  BlockComparison comparison;
  std::vector<std::int32_t> missing;
  std::vector<std::int32_t> altered;
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < sent.size() && j < received.size()) {
    if (sent[i] == received[j]) {
      ++i;
      ++j;
      continue;
    }
    // A changed byte keeps the two in step; a lost run puts the rest ahead in the block sent.
    std::size_t skipped = 0;
    if (!AgreesFrom(sent, i + 1, received, j + 1)) {
      for (std::size_t ahead = 1; ahead <= kLookAhead && i + ahead < sent.size(); ++ahead) {
        if (AgreesFrom(sent, i + ahead, received, j)) {
          skipped = ahead;
          break;
        }
      }
    }
    if (skipped > 0) {
      for (std::size_t k = 0; k < skipped; ++k) missing.push_back(static_cast<std::int32_t>(i + k));
      i += skipped;
      continue;
    }
    altered.push_back(static_cast<std::int32_t>(i));
    for (int bit = 0; bit < 8; ++bit) {
      const bool was = (sent[i] >> bit) & 1;
      const bool is = (received[j] >> bit) & 1;
      if (!was && is) ++comparison.bitSet[static_cast<std::size_t>(bit)];
      if (was && !is) ++comparison.bitCleared[static_cast<std::size_t>(bit)];
    }
    ++i;
    ++j;
  }
  for (; i < sent.size(); ++i) missing.push_back(static_cast<std::int32_t>(i));
  comparison.missing = Summarised(missing);
  comparison.altered = Summarised(altered);
  return comparison;
}
