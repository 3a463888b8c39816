// The bytes themselves: a bit stuck in every byte, bytes changed by noise, bytes the adaptor
// adds of its own, and bytes lost or late.

#include <algorithm>
#include <array>
#include <cmath>

#include "adaptor_tests/diagnosis_evidence.h"

namespace {

// The speed check's last byte back within this of when a whole block at 8192 would have come:
// the line ran that rate, whatever went missing on it.
constexpr double kOnTimeMargin = 0.05;
constexpr double kWholeBlockMs = kSpeedBlockSize * 10'000.0 / kVehicleBaud;

const SpeedRecord* SpeedWhere(const Evidence& evidence, SpeedOutcome outcome) {
  const auto& speed = evidence.record.speed;
  return speed && !evidence.explained.speed && speed->outcome == outcome ? &*speed : nullptr;
}

std::string Count(std::int32_t count, std::int32_t of) { return std::to_string(count) + " of " + std::to_string(of); }

}  // namespace

// Every altered byte wrong in the one bit, and the same way: a bit stuck, not noise. The speed
// check's block counts too.
std::optional<Diagnosis> StuckBit(Evidence& evidence) {
  auto altered = Unexplained(evidence, PhaseOutcome::CompareError);
  std::erase_if(altered, [](const FoundPhase& f) { return !f.phase->comparison || !f.phase->comparison->altered; });
  const SpeedRecord* speed = SpeedWhere(evidence, SpeedOutcome::CompareError);
  if (speed && !speed->comparison->altered) speed = nullptr;
  if (altered.empty() && !speed) return std::nullopt;
  std::array<std::int32_t, 8> set{};
  std::array<std::int32_t, 8> cleared{};
  const auto add = [&](const BlockComparison& comparison) {
    for (std::size_t bit = 0; bit < 8; ++bit) {
      set[bit] += comparison.bitSet[bit];
      cleared[bit] += comparison.bitCleared[bit];
    }
  };
  for (const FoundPhase& found : altered) add(*found.phase->comparison);
  if (speed) add(*speed->comparison);
  std::vector<std::size_t> wrong;
  for (std::size_t bit = 0; bit < 8; ++bit) {
    if (set[bit] + cleared[bit] > 0) wrong.push_back(bit);
  }
  if (wrong.size() != 1 || (set[wrong[0]] > 0 && cleared[wrong[0]] > 0)) return std::nullopt;
  const std::string bit = std::to_string(wrong[0]);
  const bool high = set[wrong[0]] > 0;
  Explain(evidence, altered, speed != nullptr);
  std::string where;
  if (!altered.empty()) where = Count(altered.front().phase->comparison->altered->count, kBlockSize) + " bytes " + Where(altered.front());
  if (speed) {
    where += (where.empty() ? "" : ", ") + Count(speed->comparison->altered->count, kSpeedBlockSize) +
             " in the speed check";
  }
  return Diagnosis{"Every byte that came back altered had bit " + bit + " wrong and no other, " +
                       (high ? "1 where it was sent 0" : "0 where it was sent 1") + ": " + where + ". Bit " + bit +
                       " is stuck at " + (high ? "1" : "0") +
                       ": a broken data line, a wrong word length or a level shifter that does not switch does "
                       "this, not noise.",
                   "Check that nothing else changes the port's settings while the tester runs (it sets 8 data "
                   "bits); then check the adaptor's data lines and its level shifter, on the sending and the "
                   "receiving side. The car's data would come back wrong in that bit too."};
}

std::optional<Diagnosis> AlteredBytes(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  auto altered = Unexplained(evidence, PhaseOutcome::CompareError);
  std::erase_if(altered, [](const FoundPhase& f) { return !f.phase->mismatch; });
  const SpeedRecord* speed = SpeedWhere(evidence, SpeedOutcome::CompareError);
  if (speed && !speed->comparison->altered) speed = nullptr;
  if (altered.empty() && !speed) return std::nullopt;
  Explain(evidence, altered, speed != nullptr);
  std::string what = "Bytes came back altered: ";
  if (!altered.empty()) {
    const ByteMismatch& mismatch = *altered.front().phase->mismatch;
    what += Count(mismatch.count, kBlockSize) + " " + Where(altered.front()) + " (byte " +
            std::to_string(mismatch.firstIndex) + " was sent as " + Hex(mismatch.sent) + " and came back as " +
            Hex(mismatch.received) + ")";
  }
  if (speed) {
    what += std::string(altered.empty() ? "" : ", and ") + Count(speed->comparison->altered->count, kSpeedBlockSize) +
            " in the speed check";
  }
  what += ".";
  const bool onlyAboveCarRate = !speed && CarRatePassed(record) &&
                                std::ranges::all_of(altered, [](const FoundPhase& f) { return f.rate > kVehicleBaud; });
  if (onlyAboveCarRate) {
    return Diagnosis{what + " This happens only above 8192 baud, where the adaptor's level shifter is at its limit.",
                     "Nothing to mend for the car, which talks at 8192 baud, where the adaptor passed." +
                         CheckTheRateToo(record)};
  }
  return Diagnosis{what + " Electrical noise, a bad ground, or a level shifter at its limit changes bits on the way.",
                   "Check the adaptor's ground connection and solder joints, keep its cable away from ignition "
                   "leads, motors and chargers, and run the test again. If bytes still change, the adaptor's level "
                   "shifter is faulty."};
}

// Blocks back whole and as sent, then more bytes after them: the adaptor's own.
std::optional<Diagnosis> ExtraBytes(Evidence& evidence) {
  auto extra = Unexplained(evidence, PhaseOutcome::CompareError);
  std::erase_if(extra, [](const FoundPhase& f) { return f.phase->mismatch || f.phase->timing.bytesAfter == 0; });
  const SpeedRecord* speed = SpeedWhere(evidence, SpeedOutcome::CompareError);
  if (speed && speed->timing.bytesAfter == 0) speed = nullptr;
  if (extra.empty() && !speed) return std::nullopt;
  Explain(evidence, extra, speed != nullptr);
  std::string what;
  if (!extra.empty()) {
    what = std::to_string(extra.front().phase->timing.bytesAfter) + " came back after the 256 bytes sent " +
           Where(extra.front());
  }
  if (speed) {
    what += (what.empty() ? "" : ", and ") + std::to_string(speed->timing.bytesAfter) +
            " after the speed check's 2048";
  }
  return Diagnosis{"The adaptor adds bytes of its own: " + what +
                       ", once each block had come back whole. A logger takes such a byte for the start of the "
                       "ECU's reply.",
                   "Check the adaptor's ground, its solder joints and its line driver: a line that rings or floats "
                   "as the sender lets go makes a byte of its own. Keep the cable away from ignition leads, motors "
                   "and chargers."};
}

// Receive time-outs that no other fault explains: bytes lost here and there, nothing back only at
// the rates above the car's, nothing now and then, part of a block, the whole block too late, or
// more than was sent. The speed check's block with bytes lost here and there too.
std::optional<Diagnosis> LostBytes(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const auto short_ = Unexplained(evidence, PhaseOutcome::ReceiveTimeout);
  const SpeedRecord* speed = SpeedWhere(evidence, SpeedOutcome::NoData);
  if (speed && !LostOnTheWay(speed->comparison, kSpeedBlockSize)) speed = nullptr;
  if (short_.empty() && !speed) return std::nullopt;
  Explain(evidence, short_, speed != nullptr);
  const std::string fix = "Check the adaptor's connections, its supply and its USB cable, and plug it into the computer "
                          "itself rather than into a hub; if bytes still go missing, the adaptor is faulty.";

  const auto lost = std::ranges::find_if(short_, [](const FoundPhase& f) {
    return f.phase->bytesReceived > 0 && LostOnTheWay(f.phase->comparison, kBlockSize);
  });
  if (lost != short_.end() || speed) {
    std::string what;
    if (lost != short_.end()) {
      const Positions& missing = *lost->phase->comparison->missing;
      what = Count(missing.count, kBlockSize) + " " + Where(*lost) + ", " + Spread(missing);
    }
    if (speed) {
      const Positions& missing = *speed->comparison->missing;
      what += (what.empty() ? "" : "; ") + Count(missing.count, kSpeedBlockSize) + " in the speed check, " + Spread(missing);
      const auto last = speed->timing.lastByteMs;
      if (last && std::abs(*last / kWholeBlockMs - 1.0) <= kOnTimeMargin) {
        what += ", its last byte back after " + std::to_string(*last) +
                " ms as a whole block at 8192 baud would be: the line runs that rate";
      }
    }
    return Diagnosis{"Bytes were lost on the way: " + what + ".", fix};
  }

  const bool silentAboveCarRate = CarRatePassed(record) && std::ranges::all_of(short_, [](const FoundPhase& f) {
                                    return NothingBack(*f.phase) && f.rate > kVehicleBaud;
                                  });
  if (silentAboveCarRate) {
    std::vector<std::int32_t> rates;
    for (const FoundPhase& f : short_) {
      if (std::ranges::find(rates, f.rate) == rates.end()) rates.push_back(f.rate);
    }
    std::string listed;
    for (std::size_t i = 0; i < rates.size(); ++i) {
      listed += (i == 0 ? "" : i + 1 == rates.size() ? " and " : ", ") + std::to_string(rates[i]);
    }
    return Diagnosis{"Nothing came back at " + listed + " baud, while 8192 baud, the car's rate, passed: those rates "
                     "are beyond what the adaptor's chip or cable carries.",
                     "Nothing to mend for the car, which talks at 8192 baud."};
  }

  const FoundPhase& first = short_.front();
  const std::int32_t got = first.phase->bytesReceived;
  const std::string block = std::to_string(kBlockSize);
  const std::string measure =
      record.speed && record.speed->outcome == SpeedOutcome::Passed
          ? "; the speed check found the line at the right rate, so bytes are lost, not late."
          : record.speed ? "." : ", then run the fast test: it measures the rate the line really runs.";
  if (got > kBlockSize) {
    return Diagnosis{std::to_string(got) + " bytes came back for the " + block + " sent " + Where(first) +
                         ": the adaptor adds bytes of its own, from noise on the line or a second echo.",
                     "Check the adaptor's ground connection and solder joints, and keep its cable away from ignition "
                     "leads, motors and chargers."};
  }
  const std::string cause =
      got == 0 ? "Nothing came back " + Where(first) +
                     ", while other phases worked: the adaptor drops out now and then, from a loose connection or a "
                     "weak supply."
      : got == kBlockSize
          ? "All " + block + " bytes came back " + Where(first) +
                ", but later than the time allowed: the line runs slower than the rate set, or the adaptor holds "
                "bytes back."
          : "Only " + std::to_string(got) + " of " + block + " bytes came back " + Where(first) +
                ": bytes are lost on the way, or the line runs slower than the rate set.";
  return Diagnosis{cause, "Check the adaptor's connections and solder joints" + measure};
}
