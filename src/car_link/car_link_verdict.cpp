#include "car_link/car_link_verdict.h"

#include <algorithm>
#include <vector>

namespace {

// Bytes in no frame that make the line's traffic more than a stray byte or two.
constexpr std::size_t kTrafficBytes = 8;
// Bursts closer than this are no fault: loggers are told to set a latency timer of 1 to 8 ms,
// and a busy PC's scheduler wakes the tester every few ms. One of fewer bytes is no burst.
constexpr std::int32_t kLeastBurstSpacingMs = 10;
constexpr std::size_t kLeastBurstBytes = 3;
constexpr std::int32_t kBurstSpacingSlackMs = 2;

bool Any(const CarLinkRecord& record, CarAttempt::Outcome outcome) {
  return std::ranges::any_of(record.attempts, [outcome](const CarAttempt& a) { return a.outcome == outcome; });
}

}  // namespace

CarVerdict VerdictOf(const CarLinkRecord& record) {
  using enum CarAttempt::Outcome;
  if (record.answeredId) return CarVerdict::Answered;
  if (Any(record, ReplyLate)) return CarVerdict::ReplyLate;
  if (Any(record, ReplyBadSum) || Any(record, ReplyNotWhole)) return CarVerdict::ReplyBroken;
  const bool cleanEcho = std::ranges::any_of(
      record.attempts, [](const CarAttempt& a) { return a.outcome != NoEcho && a.outcome != EchoAltered; });
  const Hearing& listen = record.listen;
  const bool onlyZeros = listen.frames.empty() && !listen.unframed.empty() &&
                         std::ranges::all_of(listen.unframed, [](const TimedByte& b) { return b.byte == 0; });
  if (onlyZeros && !cleanEcho) return CarVerdict::LineHeldLow;
  if (listen.frames.empty() && listen.unframed.size() >= kTrafficBytes && !onlyZeros) return CarVerdict::NoValidFrame;
  if (!cleanEcho) return Any(record, EchoAltered) ? CarVerdict::EchoAltered : CarVerdict::NoEcho;
  return CarVerdict::OnlyEcho;
}

std::optional<std::int32_t> BurstSpacing(std::span<const std::int32_t> arrivals) {
  std::vector<std::int32_t> starts;
  for (std::size_t i = 0; i < arrivals.size(); ++i) {
    if (i == 0 || arrivals[i] - arrivals[i - 1] > 1) starts.push_back(arrivals[i]);
  }
  // The last burst may be short: the reply ends part-way through the timer.
  if (starts.size() < 3 || arrivals.size() < kLeastBurstBytes * (starts.size() - 1)) return std::nullopt;
  std::vector<std::int32_t> gaps;
  for (std::size_t i = 1; i < starts.size(); ++i) gaps.push_back(starts[i] - starts[i - 1]);
  std::vector<std::int32_t> sorted = gaps;
  std::ranges::nth_element(sorted, sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2));
  const std::int32_t median = sorted[sorted.size() / 2];
  if (median < kLeastBurstSpacingMs) return std::nullopt;
  // One gap may be off: the reply may begin or end part-way through the timer.
  const auto off = std::ranges::count_if(gaps, [median](std::int32_t gap) {
    return gap < median - kBurstSpacingSlackMs || gap > median + kBurstSpacingSlackMs;
  });
  if (off > 1) return std::nullopt;
  return median;
}

std::optional<std::int32_t> BurstSpacing(const CarLinkRecord& record) {
  const CarAttempt* attempt = DecisiveAttempt(record);
  if (!attempt) return std::nullopt;
  return BurstSpacing(attempt->replyArrivals);
}
