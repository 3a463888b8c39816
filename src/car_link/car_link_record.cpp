#include "car_link/car_link_record.h"

#include <algorithm>

std::vector<std::uint8_t> ChatteringIds(const CarLinkRecord& record) {
  // What the tester sent comes back as echoes, and an ECU answers modes 8 and 9 with the same
  // frame: none of that is another module talking.
  std::vector<FrameBytes> own;
  for (const CarAttempt& attempt : record.attempts) {
    own.push_back(attempt.request);
    own.push_back(attempt.reply);
  }
  const std::uint8_t quietId = record.chosenId.value_or(kCommonEcuIds[0]);
  own.push_back(MakeFrame(quietId, kModeQuietBus));
  own.push_back(MakeFrame(quietId, kModeResumeBus));
  std::vector<std::uint8_t> ids;
  const auto note = [&](const HeardFrame& frame) {
    if (!frame.checksumGood || std::ranges::find(own, frame.bytes) != own.end()) return;
    if (std::ranges::find(ids, frame.bytes[0]) == ids.end()) ids.push_back(frame.bytes[0]);
  };
  std::ranges::for_each(record.listen.frames, note);
  for (const CarAttempt& attempt : record.attempts) std::ranges::for_each(attempt.heard.frames, note);
  return ids;
}

const CarAttempt* DecisiveAttempt(const CarLinkRecord& record) {
  const auto answered = std::ranges::find_if(
      record.attempts, [](const CarAttempt& a) { return a.outcome == CarAttempt::Outcome::Answered; });
  if (answered != record.attempts.end()) return &*answered;
  return record.attempts.empty() ? nullptr : &record.attempts.back();
}
