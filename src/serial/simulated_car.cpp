#include "serial/simulated_car.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kCharacterMs = 10.0 * 1000.0 / kVehicleBaud;
// A character at a rate further off than this reaches the modules as garbage.
constexpr double kRateTolerance = 0.03;
constexpr double kEcuReplyDelayMs = 5;
// The ECU starts a frame afresh after this much silence.
constexpr double kEcuResyncGapMs = 20;
// The body computer: a cycle every 315 ms, its frames 15 ms apart, and never within 10 ms of
// other traffic.
constexpr double kBodyFirstMs = 40;
constexpr double kBodyCycleMs = 315;
constexpr double kBodyGapMs = 15;
constexpr double kBodyPolitenessMs = 10;
constexpr std::uint8_t kBodyId = 0xF1;
// A 160-baud computer's bits, each a pulse the port reads as one garbage byte.
constexpr double kSlowBitMs = 1000.0 / 160;
constexpr std::uint8_t kSlowGarbage[] = {0x00, 0xF8, 0x00, 0x00, 0xFC, 0xE0};
// A line held low: a chip reports the break again each time it reports to its driver.
constexpr double kBreakReportMs = 16;
constexpr double kNever = std::numeric_limits<double>::infinity();
// Characters that only touch do not overlap, however the sums round.
constexpr double kTouchMs = 1e-3;

const std::vector<FrameBytes>& BodyFrames() {
  static const std::vector<FrameBytes> frames = {
      {0x08, 0x55, 0xA3},  // the heartbeat
      MakeFrame(kBodyId, 0x0A, std::vector<std::uint8_t>{0x01, 0x02}),
      MakeFrame(kBodyId, 0x0B),
  };
  return frames;
}

// The reply to mode 1: as long as the ECUs with these IDs answer, with data of its own.
FrameBytes DataReply(std::uint8_t id, bool badChecksum) {
  std::size_t length = 67;
  switch (id) {
    case 0xF5: length = 46; break;
    case 0xF7: length = 60; break;
    case 0xE4: length = 70; break;
    case 0xF0: length = 71; break;
    default: break;
  }
  std::vector<std::uint8_t> data(length - 4);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + id);
  FrameBytes reply = MakeFrame(id, kModeSendData, data);
  if (badChecksum) ++reply.back();
  return reply;
}

}  // namespace

SimulatedCar::SimulatedCar(CarFaults faults)
    : faults_(faults), bodyNextMs_(kBodyFirstMs), slowNextMs_(kSlowBitMs / 2), groundNextMs_(kBreakReportMs / 2) {}

void SimulatedCar::Transmit(std::uint8_t byte, double endMs, double characterMs) {
  // A cable that is not on the line puts nothing on it.
  if (faults_.noEcho) return;
  pending_.push_back({byte, endMs - characterMs, endMs, Talker::Tester,
                      std::abs(characterMs / kCharacterMs - 1.0) > kRateTolerance});
}

void SimulatedCar::Withdraw(double nowMs) {
  std::erase_if(pending_, [nowMs](const Character& c) { return c.talker == Talker::Tester && c.endMs > nowMs; });
}

std::optional<double> SimulatedCar::NextTurnMs() const {
  double next = kNever;
  if (!faults_.ignitionOff && faults_.chatter) next = std::min(next, bodyNextMs_);
  if (!faults_.ignitionOff && faults_.slowBaud) next = std::min(next, slowNextMs_);
  if (faults_.heldLow && !faults_.noEcho) next = std::min(next, groundNextMs_);
  if (next == kNever) return std::nullopt;
  return next;
}

std::optional<double> SimulatedCar::NextChangeMs() const {
  double next = NextTurnMs().value_or(kNever);
  for (const Character& c : pending_) next = std::min(next, c.endMs);
  if (next == kNever) return std::nullopt;
  return next;
}

std::vector<WireCharacter> SimulatedCar::Advance(double nowMs) {
  std::vector<WireCharacter> heard;
  for (;;) {
    const auto first = std::ranges::min_element(pending_, {}, &Character::endMs);
    const double characterEnd = first == pending_.end() ? kNever : first->endMs;
    const double turn = NextTurnMs().value_or(kNever);
    if (std::min(characterEnd, turn) > nowMs) return heard;
    if (turn < characterEnd) {
      if (turn == groundNextMs_ && faults_.heldLow) {
        heard.push_back({0x00, turn});
        groundNextMs_ += kBreakReportMs;
      } else if (turn == slowNextMs_ && faults_.slowBaud) {
        Send({kSlowGarbage[static_cast<std::size_t>(turn / kSlowBitMs) % std::size(kSlowGarbage)]}, turn,
             Talker::Slow);
        slowNextMs_ += kSlowBitMs;
      } else {
        BodyTurn(turn);
      }
      continue;
    }
    const Character character = Finish(static_cast<std::size_t>(first - pending_.begin()));
    lastEndMs_ = std::max(lastEndMs_, character.endMs);
    // Held low, the line carries nothing; off the line, the cable hears nothing of it.
    if (faults_.heldLow) continue;
    if (!faults_.noEcho) heard.push_back({character.byte, character.endMs});
    Hear(character);
  }
}

SimulatedCar::Character SimulatedCar::Finish(std::size_t index) {
  Character character = pending_[index];
  pending_.erase(pending_.begin() + static_cast<std::ptrdiff_t>(index));
  std::erase_if(pending_, [&character](const Character& other) {
    if (other.startMs >= character.endMs - kTouchMs) return false;
    character.byte &= other.byte;
    character.offRate = character.offRate || other.offRate;
    // A collision is no module's byte.
    if (other.talker != character.talker) character.talker = Talker::Collision;
    return true;
  });
  return character;
}

void SimulatedCar::Send(const FrameBytes& frame, double startMs, Talker talker) {
  for (std::size_t i = 0; i < frame.size(); ++i) {
    pending_.push_back({frame[i], startMs + static_cast<double>(i) * kCharacterMs,
                        startMs + static_cast<double>(i + 1) * kCharacterMs, talker});
  }
}

void SimulatedCar::Hear(const Character& character) {
  if (faults_.ignitionOff || character.talker == Talker::Ecu) return;
  if (character.offRate || character.endMs - ecuLastByteMs_ > kEcuResyncGapMs) {
    ecuHeard_.clear();
    ecuHeardFromTester_.clear();
  }
  ecuLastByteMs_ = character.endMs;
  if (character.offRate) return;
  ecuHeard_.push_back(character.byte);
  ecuHeardFromTester_.push_back(character.talker == Talker::Tester);
  while (ecuHeard_.size() >= 2) {
    const auto length = FrameLengthOf(ecuHeard_[1]);
    if (length && ecuHeard_.size() < *length) return;
    const FrameBytes frame(ecuHeard_.begin(), ecuHeard_.begin() + static_cast<std::ptrdiff_t>(length.value_or(1)));
    const std::size_t used = length && ChecksumAddsUp(frame) ? *length : 1;
    if (used > 1) {
      if (std::all_of(ecuHeardFromTester_.begin(), ecuHeardFromTester_.begin() + static_cast<std::ptrdiff_t>(used),
                      [](bool fromTester) { return fromTester; })) {
        heardFromTester_.push_back(frame);
      }
      Answer(frame, character.endMs);
    }
    ecuHeard_.erase(ecuHeard_.begin(), ecuHeard_.begin() + static_cast<std::ptrdiff_t>(used));
    ecuHeardFromTester_.erase(ecuHeardFromTester_.begin(),
                              ecuHeardFromTester_.begin() + static_cast<std::ptrdiff_t>(used));
  }
}

void SimulatedCar::Answer(const FrameBytes& frame, double endMs) {
  const auto mode = ModeOf(frame);
  if (frame[0] != faults_.ecuId || !mode) return;
  const double startMs = endMs + kEcuReplyDelayMs + faults_.lateMs;
  if (*mode == kModeSendData) {
    Send(DataReply(faults_.ecuId, faults_.badChecksum), startMs, Talker::Ecu);
    return;
  }
  if (*mode == kModeQuietBus) bodyQuiet_ = true;
  if (*mode == kModeResumeBus) bodyQuiet_ = false;
  if (*mode == kModeQuietBus || *mode == kModeResumeBus || *mode == 0) Send(frame, startMs, Talker::Ecu);
}

bool SimulatedCar::LineBusy(double atMs, double forMs) const {
  if (lastEndMs_ > atMs - kBodyPolitenessMs) return true;
  return std::ranges::any_of(pending_, [&](const Character& c) {
    return c.startMs < atMs + forMs && c.endMs > atMs - kBodyPolitenessMs;
  });
}

void SimulatedCar::BodyTurn(double atMs) {
  const std::vector<FrameBytes>& frames = BodyFrames();
  if (bodyQuiet_) {
    bodyFrame_ = 0;
    bodyNextMs_ = atMs + kBodyCycleMs;
    return;
  }
  const double lengthMs = static_cast<double>(frames[bodyFrame_].size()) * kCharacterMs;
  if (LineBusy(atMs, lengthMs)) {
    double freeAt = lastEndMs_;
    for (const Character& c : pending_) freeAt = std::max(freeAt, c.endMs);
    bodyNextMs_ = freeAt + kBodyPolitenessMs;
    return;
  }
  if (bodyFrame_ == 0) bodyCycleMs_ = atMs;
  Send(frames[bodyFrame_], atMs, Talker::Body);
  bodyFrame_ = (bodyFrame_ + 1) % frames.size();
  bodyNextMs_ = bodyFrame_ == 0 ? bodyCycleMs_ + kBodyCycleMs : atMs + lengthMs + kBodyGapMs;
}
