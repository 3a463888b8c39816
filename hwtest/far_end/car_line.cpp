#include "car_line.h"

#include <algorithm>

CarLine::CarLine(const CarFaults& faults) : car_(faults) {}

double CarLine::Ms(Clock::time_point when) const {
  return std::chrono::duration<double, std::milli>(when - start_).count();
}

void CarLine::SetRate(double baud) {
  if (baud > 0) baud_ = baud;
}

void CarLine::Accept(std::span<const std::uint8_t> bytes, Clock::time_point now) {
  const double characterMs = 10.0 * 1000 / baud_;
  lineFreeMs_ = std::max(lineFreeMs_, Ms(now));
  for (const std::uint8_t byte : bytes) {
    lineFreeMs_ += characterMs;
    car_.Transmit(byte, lineFreeMs_, characterMs);
  }
}

std::vector<std::uint8_t> CarLine::TakeDue(Clock::time_point now) {
  std::vector<std::uint8_t> due;
  for (const WireCharacter& character : car_.Advance(Ms(now))) due.push_back(character.byte);
  return due;
}

std::optional<CarLine::Clock::time_point> CarLine::NextDue() const {
  const auto next = car_.NextChangeMs();
  if (!next) return std::nullopt;
  return start_ + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double, std::milli>(*next));
}

std::vector<int> CarLine::ModesHeard() const {
  std::vector<int> modes;
  for (const FrameBytes& frame : FramesHeard()) modes.push_back(ModeOf(frame).value_or(-1));
  return modes;
}
