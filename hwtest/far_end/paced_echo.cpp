#include "paced_echo.h"

#include <algorithm>

void PacedEcho::Accept(std::span<const std::uint8_t> bytes, Clock::time_point now) {
  const auto characterTime = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(10.0 / std::max(baud_, 1.0)));
  for (const std::uint8_t byte : bytes) {
    lineFree_ = std::max(lineFree_, now) + characterTime;
    pending_.push_back({lineFree_ + latency_, byte});
  }
}

std::vector<std::uint8_t> PacedEcho::TakeDue(Clock::time_point now) {
  std::vector<std::uint8_t> due;
  while (!pending_.empty() && pending_.front().due <= now) {
    due.push_back(pending_.front().byte);
    pending_.pop_front();
  }
  return due;
}

std::optional<PacedEcho::Clock::time_point> PacedEcho::NextDue() const {
  if (pending_.empty()) return std::nullopt;
  return pending_.front().due;
}

void PacedEcho::Clear() {
  pending_.clear();
  lineFree_ = {};
}
