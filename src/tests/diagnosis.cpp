#include "tests/diagnosis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>

#include "tests/chip_families.h"
#include "tests/number_formats.h"
#include "tests/transfer_speed.h"

namespace {

using Rule = std::function<std::optional<Diagnosis>(const RunRecord&, const ChipFamily*)>;

constexpr std::int32_t kBlockSize = 256;
// Rates a chip that cannot make 8192 falls back to, and how near a measurement must be to one
// to say the line runs it.
constexpr std::array<double, 7> kStandardRates = {2400, 4800, 7200, 9600, 14400, 19200, 38400};
constexpr double kStandardRateMargin = 0.02;
// Beyond this the line is not a rough 8192 but another rate altogether.
constexpr double kNearMargin = 0.15;

const std::string kGoodChips = "an adaptor with an FTDI or a CH340 chip, which run 8192 baud within 0.1%";

struct FoundPhase {
  std::int32_t rate;
  const PhaseRecord* phase;
};

std::string Baud(double rate) { return FormatWhole(rate) + " baud"; }

std::string Hex(std::uint8_t byte) {
  char text[5];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string Where(const FoundPhase& found) {
  static const char* const kPower[] = {"DTR power only", "RTS power only", "DTR and RTS power"};
  return "in phase " + std::to_string(found.phase->phase) + " (" + kPower[found.phase->phase - 1] +
         ") at " + Baud(found.rate);
}

std::vector<FoundPhase> PhasesWhere(const RunRecord& record,
                                    const std::function<bool(const PhaseRecord&)>& matches) {
  std::vector<FoundPhase> found;
  for (const RateRecord& rate : record.rates) {
    for (const PhaseRecord& phase : rate.phases) {
      if (matches(phase)) found.push_back({rate.rate, &phase});
    }
  }
  return found;
}

bool Is(const PhaseRecord& phase, PhaseOutcome outcome) { return phase.outcome == outcome; }

bool AnythingFailed(const RunRecord& record) {
  const bool phaseFailed =
      !PhasesWhere(record, [](const PhaseRecord& p) { return !Is(p, PhaseOutcome::Passed); }).empty();
  const bool speedFailed = record.speed && record.speed->outcome != SpeedOutcome::Passed;
  return phaseFailed || speedFailed || record.refusal || record.portLost ||
         record.verdict == Verdict::Failed;
}

// Whether every phase at 8192 baud passed: the car's rate works whatever happens elsewhere.
bool CarRatePassed(const RunRecord& record) {
  const auto at8192 = std::ranges::find(record.rates, kVehicleBaud, &RateRecord::rate);
  return at8192 != record.rates.end() && at8192->phases.size() == 3 &&
         std::ranges::all_of(at8192->phases, [](const PhaseRecord& p) { return Is(p, PhaseOutcome::Passed); });
}

// "This adaptor has a ... chip: ...", or nothing for an unknown chip.
std::string FamilySentence(const ChipFamily* family) {
  if (!family) return "";
  return " This adaptor has a " + std::string(family->name) + " chip; " + std::string(family->at8192) + ".";
}

std::optional<Diagnosis> PortLost(const RunRecord& record, const ChipFamily*) {
  if (!record.portLost) return std::nullopt;
  const auto gone = PhasesWhere(record, [](const PhaseRecord& p) { return Is(p, PhaseOutcome::PortNotOpen); });
  std::string when = "during the transfer-speed check";
  if (!gone.empty()) {
    when = "during the test, " + Where(gone.front());
  } else if (!record.rates.empty() && record.rates.front().phases.empty()) {
    when = "as " + Baud(record.rates.front().rate) + " was set";
  }
  return Diagnosis{"The port went away " + when +
                       ": the adaptor was unplugged or lost contact, or the USB hub it is on lost power.",
                   "Plug the adaptor firmly into the computer itself or into a powered hub, check that "
                   "its port is back (aldl-tester-cli --list), then run the test again."};
}

std::optional<Diagnosis> RateRefused(const RunRecord& record, const ChipFamily* family) {
  if (!record.refusal) return std::nullopt;
  const RateRefusal& refusal = *record.refusal;
  const std::string readBack = refusal.readBack && *refusal.readBack != static_cast<std::uint32_t>(refusal.rate)
                                   ? " (afterwards the port reports " + Baud(*refusal.readBack) + ")"
                                   : "";
  if (refusal.rate != kVehicleBaud && refusal.rate > 0 && CarRatePassed(record)) {
    return Diagnosis{"The port would not take " + Baud(refusal.rate) + readBack + "; 8192 baud, the car's "
                         "rate, worked.",
                     "Nothing to mend for the car. Run the fast test to check that 8192 baud is really "
                     "8192 on this adaptor."};
  }
  const std::string rate = refusal.rate > 0 ? Baud(refusal.rate) : "8192 baud, the rate it is set to as it opens";
  if (family && family->runs8192) {
    return Diagnosis{"The port would not take " + rate + readBack + ", although " +
                         std::string(family->at8192) + ": the chip may be a copy that behaves differently, "
                         "or its driver is unusual.",
                     "Unplug the adaptor, plug it in again and rerun the test; if the rate is still "
                     "refused, use another adaptor, with a genuine FTDI or a CH340 chip."};
  }
  return Diagnosis{"The port would not take " + rate + readBack + ": its chip or driver cannot run that "
                       "rate, as many USB serial chips cannot." + FamilySentence(family),
                   "Use " + kGoodChips + ". This adaptor cannot talk to the car at 8192 baud."};
}

std::optional<Diagnosis> NoEchoAtAll(const RunRecord& record, const PortIdentity& identity) {
  const auto all = PhasesWhere(record, [](const PhaseRecord&) { return true; });
  const bool silent = !all.empty() && std::ranges::all_of(all, [](const FoundPhase& f) {
    return Is(*f.phase, PhaseOutcome::ReceiveTimeout) && f.phase->bytesReceived == 0;
  });
  if (!silent) return std::nullopt;
  std::string cause = "Nothing came back in any phase: the adaptor's data lines are not looped back, "
                      "this is not the port the adaptor is on, or the adaptor is dead.";
  if (identity.kind == PortIdentity::Kind::Uart) {
    cause += " " + identity.name + " is a serial port built into the computer, not a USB adaptor.";
  }
  return Diagnosis{cause,
                   "Check that the adaptor's data lines are looped back, that this is the adaptor's "
                   "port (aldl-tester-cli --list names the device behind each one) and that the adaptor "
                   "is plugged in; if all that is right, the adaptor is faulty."};
}

// The power phases at the first rate where a single-line phase got nothing back while the
// other single line worked, or where both did while the two lines together worked. A run
// halted after phase 2 has no phase 3 to compare with.
std::optional<Diagnosis> PowerLine(const RunRecord& record, const ChipFamily*) {
  for (const RateRecord& rate : record.rates) {
    if (rate.phases.size() < 2) continue;
    const auto outcome = [&](std::size_t i) { return rate.phases[i].outcome; };
    const bool bothWork = rate.phases.size() < 3 || outcome(2) == PhaseOutcome::Passed;
    if (!bothWork) continue;
    const auto nothingBack = [&](std::size_t i) {
      return outcome(i) == PhaseOutcome::ReceiveTimeout && rate.phases[i].bytesReceived == 0;
    };
    const bool noDtr = nothingBack(0);
    const bool noRts = nothingBack(1);
    const bool dtrWorks = outcome(0) == PhaseOutcome::Passed;
    const bool rtsWorks = outcome(1) == PhaseOutcome::Passed;
    if (noDtr && noRts && rate.phases.size() == 3) {
      return Diagnosis{"Nothing came back with the adaptor powered from DTR only or from RTS only, "
                       "while both lines together worked: one line alone does not give the adaptor "
                       "enough power.",
                       "Check the adaptor's two supply diodes and its regulator. If they are good, the "
                       "port's lines give too little current for this adaptor: use one that draws less."};
    }
    const auto oneLine = [](const std::string& dead, const std::string& live) {
      return Diagnosis{"Nothing came back with the adaptor powered from " + dead + " only, while " + live +
                           " alone worked: the adaptor gets no power through " + dead + ". Its diode or "
                           "regulator on the " + dead + " line is open, or the wire that brings " + dead +
                           " to it is broken.",
                       "Check the diode and the solder joints on the adaptor's " + dead +
                           " supply, and the wire that carries " + dead + " from the port to it."};
    };
    if (noDtr && rtsWorks) return oneLine("DTR", "RTS");
    if (noRts && dtrWorks) return oneLine("RTS", "DTR");
  }
  return std::nullopt;
}

std::optional<Diagnosis> AlteredBytes(const RunRecord& record, const ChipFamily*) {
  const auto altered = PhasesWhere(record, [](const PhaseRecord& p) { return Is(p, PhaseOutcome::CompareError); });
  if (altered.empty() || !altered.front().phase->mismatch) return std::nullopt;
  const FoundPhase& first = altered.front();
  const ByteMismatch& mismatch = *first.phase->mismatch;
  const std::string what = "Bytes came back altered: " + std::to_string(mismatch.count) + " of " +
                           std::to_string(kBlockSize) + " " + Where(first) + " (byte " +
                           std::to_string(mismatch.firstIndex) + " was sent as " + Hex(mismatch.sent) +
                           " and came back as " + Hex(mismatch.received) + ").";
  const bool onlyAboveCarRate = CarRatePassed(record) && std::ranges::all_of(altered, [](const FoundPhase& f) {
                                  return f.rate > kVehicleBaud;
                                });
  if (onlyAboveCarRate) {
    return Diagnosis{what + " This happens only above 8192 baud, where the adaptor's level shifter is "
                            "at its limit.",
                     "Nothing to mend for the car, which talks at 8192 baud, where the adaptor passed."};
  }
  return Diagnosis{what + " Electrical noise, a bad ground, or a level shifter at its limit changes bits "
                          "on the way.",
                   "Check the adaptor's ground connection and solder joints, keep its cable away from "
                   "ignition leads, motors and chargers, and run the test again. If bytes still change, "
                   "the adaptor's level shifter is faulty."};
}

// Receive time-outs that fit no power pattern: part of a block, or nothing now and then.
std::optional<Diagnosis> LostBytes(const RunRecord& record, const ChipFamily*) {
  const auto short_ = PhasesWhere(record, [](const PhaseRecord& p) { return Is(p, PhaseOutcome::ReceiveTimeout); });
  if (short_.empty()) return std::nullopt;
  const FoundPhase& first = short_.front();
  const std::int32_t got = first.phase->bytesReceived;
  const std::string cause =
      got == 0 ? "Nothing came back " + Where(first) + ", while other phases worked: the adaptor drops "
                 "out now and then, from a loose connection or a weak supply."
               : "Only " + std::to_string(got) + " of " + std::to_string(kBlockSize) + " bytes came back " +
                     Where(first) + ": bytes are lost on the way, or the line runs slower than the rate set.";
  return Diagnosis{cause,
                   "Check the adaptor's connections and solder joints, then run the fast test: it "
                   "measures the rate the line really runs."};
}

std::optional<Diagnosis> SlowSending(const RunRecord& record, const ChipFamily* family) {
  const auto slow = PhasesWhere(record, [](const PhaseRecord& p) { return Is(p, PhaseOutcome::TransmitTimeout); });
  if (slow.empty()) return std::nullopt;
  const FoundPhase& first = slow.front();
  const std::string what = "At " + Baud(first.rate) + " the port could not send " + std::to_string(kBlockSize) +
                           " bytes in the time allowed: it sends slower than the rate set, so its chip or "
                           "driver runs another rate than the one asked.";
  if (first.rate > kVehicleBaud && CarRatePassed(record)) {
    return Diagnosis{what, "Run the fast test: it measures the rate the line really runs at 8192 baud, "
                           "the car's rate."};
  }
  const bool noBlock = record.speed && record.speed->outcome == SpeedOutcome::NoData;
  return Diagnosis{what + (noBlock ? " The speed check's 2048-byte block did not come back within 4 "
                                     "seconds either."
                                   : "") +
                       FamilySentence(family),
                   "Use " + kGoodChips + "."};
}

std::optional<Diagnosis> SpeedOff(const RunRecord& record, const ChipFamily* family) {
  if (!record.speed) return std::nullopt;
  const SpeedRecord& speed = *record.speed;
  if (speed.outcome == SpeedOutcome::NoData) {
    return Diagnosis{"The 256-byte blocks came back, but the speed check's 2048-byte block did not come "
                     "back whole within 4 seconds: the line runs far slower than 8192 baud, or the "
                     "adaptor loses bytes in a long transfer." + FamilySentence(family),
                     "Run the extended test to see which rates work, and use " + kGoodChips + "."};
  }
  if (speed.outcome != SpeedOutcome::OutOfRange || !speed.measuredRate) return std::nullopt;
  const double measured = *speed.measuredRate;
  const std::string fix = family && family->runs8192
                              ? "Use another adaptor, with a genuine FTDI or a CH340 chip; the car's "
                                "computer may not understand a line this far off."
                              : "Use " + kGoodChips + "; the car's computer may not understand a line this "
                                "far off.";
  const std::string chip = family && family->runs8192
                               ? " This adaptor has a " + std::string(family->name) + " chip, and " +
                                     std::string(family->at8192) + ": it may be a copy."
                               : FamilySentence(family);
  const auto standard = std::ranges::find_if(kStandardRates, [measured](double rate) {
    return std::abs(measured / rate - 1.0) <= kStandardRateMargin;
  });
  if (standard != kStandardRates.end()) {
    return Diagnosis{"The line really runs at the standard " + Baud(*standard) + " (measured " +
                         FormatWhole(measured) + "), not 8192: the adaptor's chip takes 8192 but runs a "
                         "standard rate instead." + chip,
                     fix};
  }
  const double off = measured / kVehicleBaud - 1.0;
  if (std::abs(off) <= kNearMargin) {
    return Diagnosis{"The line runs about " + FormatWhole(std::abs(off) * 100.0) + "% " +
                         (off > 0 ? "fast" : "slow") + " (measured " + Baud(measured) +
                         "; 7782 to 8600 passes): the adaptor's chip cannot make 8192 baud closely enough." +
                         chip,
                     fix};
  }
  return Diagnosis{"The line runs at about " + Baud(measured) + ", far from 8192: the port does not run "
                   "the rate it was set to." + chip,
                   fix};
}

}  // namespace

std::optional<Diagnosis> Diagnose(const RunRecord& record, const PortIdentity& identity) {
  if (!AnythingFailed(record)) return std::nullopt;
  const ChipFamily* family = ChipFamilyOf(identity);
  // A lost port fails everything after it, and a refused rate ends the run: they come first.
  const Rule rules[] = {
      PortLost,
      RateRefused,
      [&identity](const RunRecord& r, const ChipFamily*) { return NoEchoAtAll(r, identity); },
      PowerLine,
      AlteredBytes,
      LostBytes,
      SlowSending,
      SpeedOff,
  };
  for (const Rule& rule : rules) {
    if (auto diagnosis = rule(record, family)) return diagnosis;
  }
  return Diagnosis{"The test failed in a way this program does not recognise.",
                   "Run the test again; if it fails the same way, try another adaptor."};
}
