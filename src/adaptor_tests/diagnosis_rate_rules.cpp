// The rate and the adaptor's latency: a port that sends slower than set, an adaptor that holds
// what comes back, and a line that runs another rate than 8192.

#include <algorithm>
#include <array>
#include <cmath>

#include "adaptor_tests/adaptor_tests.h"
#include "adaptor_tests/diagnosis_evidence.h"
#include "adaptor_tests/number_formats.h"

namespace {

// Rates a chip that cannot make 8192 falls back to, and how near a measurement must be to one to
// say the line runs it.
constexpr std::array<double, 7> kStandardRates = {2400, 4800, 7200, 9600, 14400, 19200, 38400};
constexpr double kStandardRateMargin = 0.02;
// Beyond this the line is not a rough 8192 but another rate altogether.
constexpr double kNearMargin = 0.15;

double LineTimeMs(std::int32_t characters, std::int32_t rate) { return characters * 10'000.0 / rate; }

// The shortest time limit an exchange has (the fast test's floor).
constexpr std::int32_t kShortestExchangeMs = 100;

bool Late(const BlockTiming& timing) { return timing.firstByteMs && *timing.firstByteMs >= kLateFirstByteMs; }

// The rate the speed check's block ran at once it came, when its first byte was held.
std::optional<double> RateAfterTheWait(const SpeedRecord& speed) {
  if (!Late(speed.timing)) return std::nullopt;
  return LineRate(speed.bytesReceived, speed.timing);
}

std::string LatencyFix(const Evidence& evidence) {
  const std::string logger = " A logger waits 100 to 250 ms for the ECU's reply: an adaptor that holds bytes this long "
                             "makes it give up.";
  if (evidence.family && evidence.family->driver == "ftdi_sio") {
    const std::string timer = evidence.identity.latencyTimer.empty()
                                  ? ""
                                  : " (it is " + evidence.identity.latencyTimer + " ms now)";
    return "Set the adaptor's latency timer to 1 ms" + timer +
           ": on Linux, as root, echo 1 > /sys/bus/usb-serial/devices/" +
           (evidence.identity.name.empty() ? "ttyUSB0" : evidence.identity.name) +
           "/latency_timer; on Windows, Device Manager > Ports > the port > Port Settings > Advanced > Latency "
           "Timer. Plug the adaptor into the computer itself rather than into a hub." + logger;
  }
  return "Plug the adaptor into the computer itself rather than into a hub; if it still holds bytes, use an "
         "adaptor with an FTDI chip and its latency timer set to 1 ms." + logger;
}

}  // namespace

std::optional<Diagnosis> SlowSending(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const auto slow = Unexplained(evidence, PhaseOutcome::TransmitTimeout);
  if (slow.empty()) return std::nullopt;
  Explain(evidence, slow);
  const FoundPhase& first = slow.front();
  const std::string what = "At " + Baud(first.rate) + " the port could not send " + std::to_string(kBlockSize) +
                           " bytes in the time allowed: it sends slower than the rate set, so its chip or "
                           "driver runs another rate than the one asked.";
  if (first.rate > kVehicleBaud && CarRatePassed(record)) {
    return Diagnosis{what, "Nothing to mend for the car, which talks at 8192 baud, where the adaptor passed." +
                               CheckTheRateToo(record)};
  }
  const bool noBlock = record.speed && record.speed->outcome == SpeedOutcome::NoData;
  evidence.explained.speed = evidence.explained.speed || noBlock;
  return Diagnosis{what +
                       (noBlock ? " The speed check's 2048-byte block did not come back within 4 seconds either."
                                : "") +
                       FamilySentence(evidence.family),
                   "Use " + kGoodChips + "."};
}

// A late first byte is the adaptor holding what comes back, not a slow line: a phase's first
// byte late, or its echo only after its exchange had ended; the speed check's first byte late,
// its block then at 8192 baud.
std::optional<Diagnosis> Latency(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  std::optional<std::int32_t> held;
  std::vector<FoundPhase> timedOut;
  bool echoAfterTheEnd = false;
  for (const FoundPhase& found : PhasesWhere(record, [](const PhaseRecord&) { return true; })) {
    const PhaseRecord& phase = *found.phase;
    std::optional<std::int32_t> ms;
    if (Late(phase.timing)) ms = *phase.timing.firstByteMs;
    if (!ms && Is(phase, PhaseOutcome::ReceiveTimeout) && phase.bytesReceived == 0 && phase.timing.bytesAfter > 0 &&
        phase.timing.lastAfterMs) {
      ms = static_cast<std::int32_t>(*phase.timing.lastAfterMs - LineTimeMs(kBlockSize, found.rate));
      echoAfterTheEnd = true;
    }
    if (!ms) continue;
    held = std::max(held.value_or(0), *ms);
    if (Is(phase, PhaseOutcome::ReceiveTimeout)) timedOut.push_back(found);
  }
  const SpeedRecord* speed = record.speed ? &*record.speed : nullptr;
  if (speed && Late(speed->timing)) held = std::max(held.value_or(0), *speed->timing.firstByteMs);
  if (!held) return std::nullopt;
  // A phase that got nothing in the time it waits (the block's line time and its time limit)
  // would have got its echo after it gave up.
  for (const FoundPhase& found : PhasesWhere(record, NothingBack)) {
    const double waits = LineTimeMs(kBlockSize, found.rate) + ExchangeTimeout(found.rate, kShortestExchangeMs);
    if (*held > waits) timedOut.push_back(found);
  }
  Explain(evidence, timedOut);
  std::string cause = "The adaptor holds what comes back: the first byte of a block came back " +
                      std::to_string(*held) + " ms after the block went out, where the line brings it in a few ms";
  if (echoAfterTheEnd) cause += ", and in phases that gave up waiting the whole echo came after they had";
  const auto rate = speed ? RateAfterTheWait(*speed) : std::nullopt;
  if (rate && std::abs(*rate / kVehicleBaud - 1.0) <= kStandardRateMargin) {
    evidence.explained.speed = true;
    cause += "; the speed check's block then came at " + Baud(*rate) + ": the line runs 8192 baud, and the speed "
             "check's " + (speed->measuredRate ? "figure of " + FormatWhole(*speed->measuredRate) : "time") +
             " counts the wait";
  }
  return Diagnosis{cause + ". Its chip, its driver or the USB path holds received bytes; it does not run slow.",
                   LatencyFix(evidence)};
}

// The speed check failed: the line runs another rate than 8192, which also explains blocks at
// 8192 that came back short when it runs slow. A first byte held is left out of the rate.
std::optional<Diagnosis> SpeedOff(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const ChipFamily* family = evidence.family;
  if (!record.speed || evidence.explained.speed) return std::nullopt;
  const SpeedRecord& speed = *record.speed;
  // Bytes lost here and there are the rule on lost bytes'.
  if (speed.outcome == SpeedOutcome::NoData && LostOnTheWay(speed.comparison, kSpeedBlockSize)) return std::nullopt;
  std::optional<double> measured = RateAfterTheWait(speed);
  if (!measured && speed.measuredRate) measured = *speed.measuredRate;
  const bool slow = speed.outcome == SpeedOutcome::NoData ||
                    (speed.outcome == SpeedOutcome::OutOfRange && measured && *measured < kVehicleBaud);
  if (slow) {
    Explain(evidence, PhasesWhere(record, [&](const PhaseRecord& p) {
              return Is(p, PhaseOutcome::ReceiveTimeout) && p.bytesReceived > 0;
            }));
  }
  if (speed.outcome == SpeedOutcome::NoData) {
    const bool blocksBack = std::ranges::all_of(record.rates, [](const RateRecord& rate) {
      return std::ranges::all_of(rate.phases, GotBlockBack);
    });
    const auto lineRate = LineRate(speed.bytesReceived, speed.timing);
    const std::string came = speed.bytesReceived > 0 && lineRate
                                 ? " (" + std::to_string(speed.bytesReceived) + " came, at about " + Baud(*lineRate) + ")"
                                 : "";
    return Diagnosis{std::string(blocksBack ? "The 256-byte blocks came back, but the" : "The") +
                         " speed check's 2048-byte block did not come back whole within 4 seconds" + came +
                         ": the line runs far slower than 8192 baud, or the adaptor loses bytes in a long transfer." +
                         FamilySentence(family),
                     "Run the extended test to see which rates work, and use " + kGoodChips + "."};
  }
  if (speed.outcome != SpeedOutcome::OutOfRange || !measured) return std::nullopt;
  const std::string fix = family && family->runs8192
                              ? "Use another adaptor, with a genuine FTDI or a CH340 chip; the car's computer may "
                                "not understand a line this far off."
                              : "Use " + kGoodChips + "; the car's computer may not understand a line this far off.";
  const std::string chip = family && family->runs8192 ? " This adaptor has a " + std::string(family->name) +
                                                            " chip, and " + std::string(family->at8192) +
                                                            ": it may be a copy."
                                                      : FamilySentence(family);
  const auto standard = std::ranges::find_if(kStandardRates, [&](double rate) {
    return std::abs(*measured / rate - 1.0) <= kStandardRateMargin;
  });
  if (standard != kStandardRates.end()) {
    return Diagnosis{"The line really runs at the standard " + Baud(*standard) + " (measured " +
                         FormatWhole(*measured) + "), not 8192: the adaptor's chip takes 8192 but runs a standard "
                         "rate instead." + chip,
                     fix};
  }
  const double off = *measured / kVehicleBaud - 1.0;
  if (std::abs(off) <= kNearMargin) {
    return Diagnosis{"The line runs about " + FormatWhole(std::abs(off) * 100.0) + "% " + (off > 0 ? "fast" : "slow") +
                         " (measured " + Baud(*measured) +
                         "; 7782 to 8600 passes): the adaptor's chip cannot make 8192 baud closely enough." + chip,
                     fix};
  }
  return Diagnosis{"The line runs at about " + Baud(*measured) +
                       ", far from 8192: the port does not run the rate it was set to." + chip,
                   fix};
}
