#include "adaptor_tests/diagnosis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <functional>
#include <set>

#include "adaptor_tests/number_formats.h"
#include "adaptor_tests/transfer_speed.h"
#include "car_link/car_link_diagnosis.h"
#include "serial/chip_families.h"

namespace {

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

// What the findings so far account for, so that no failure is named twice.
struct Explained {
  std::set<const PhaseRecord*> phases;
  bool speed = false;
};

// What every rule looks at.
struct Evidence {
  const RunRecord& record;
  const PortIdentity& identity;
  const ChipFamily* family;
  Reader reader;
  Explained explained;
};

using Rule = std::optional<Diagnosis> (*)(Evidence&);

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

// The failed phases of an outcome that no finding has accounted for yet.
std::vector<FoundPhase> Unexplained(const Evidence& evidence, PhaseOutcome outcome) {
  return PhasesWhere(evidence.record, [&](const PhaseRecord& p) {
    return p.outcome == outcome && !evidence.explained.phases.contains(&p);
  });
}

void Explain(Evidence& evidence, const std::vector<FoundPhase>& found) {
  for (const FoundPhase& each : found) evidence.explained.phases.insert(each.phase);
}

bool Is(const PhaseRecord& phase, PhaseOutcome outcome) { return phase.outcome == outcome; }

// The block came back, whole or altered: the adaptor was powered.
bool GotBlockBack(const PhaseRecord& phase) {
  return Is(phase, PhaseOutcome::Passed) || Is(phase, PhaseOutcome::CompareError);
}

bool NothingBack(const PhaseRecord& phase) {
  return Is(phase, PhaseOutcome::ReceiveTimeout) && phase.bytesReceived == 0;
}

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

// The loopback at 8192 says nothing of the rate the line really runs; only the fast test's
// speed check does.
std::string CheckTheRateToo(const RunRecord& record) {
  return record.speed ? "" : " Run the fast test to check that 8192 baud is really 8192 on this adaptor.";
}

// "This adaptor has a ... chip: ...", or nothing for an unknown chip.
std::string FamilySentence(const ChipFamily* family) {
  if (!family) return "";
  return " This adaptor has a " + std::string(family->name) + " chip; " + std::string(family->at8192) + ".";
}

std::optional<Diagnosis> PortLost(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  if (!record.portLost) return std::nullopt;
  const auto gone = Unexplained(evidence, PhaseOutcome::PortNotOpen);
  Explain(evidence, gone);
  evidence.explained.speed = evidence.explained.speed ||
                             (record.speed && record.speed->outcome == SpeedOutcome::PortNotOpen);
  std::string when = record.car ? "during the car link test" : "during the transfer-speed check";
  if (!gone.empty()) {
    when = "during the test, " + Where(gone.front());
  } else if (!record.rates.empty() && record.rates.front().phases.empty()) {
    when = "as " + Baud(record.rates.front().rate) + " was set";
  }
  const std::string portBack = evidence.reader == Reader::Window
                                   ? "its port is back (Setup > Com Port shows it, its tooltip naming the adaptor)"
                                   : "its port is back (aldl-tester-cli --list)";
  return Diagnosis{"The port went away " + when +
                       ": the adaptor was unplugged or lost contact, or the USB hub it is on lost power.",
                   "Plug the adaptor firmly into the computer itself or into a powered hub, check that " +
                       portBack + ", then run the test again."};
}

std::optional<Diagnosis> RateRefused(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const ChipFamily* family = evidence.family;
  if (!record.refusal) return std::nullopt;
  const RateRefusal& refusal = *record.refusal;
  const std::string readBack = refusal.readBack && *refusal.readBack != static_cast<std::uint32_t>(refusal.rate)
                                   ? " (afterwards the port reports " + Baud(*refusal.readBack) + ")"
                                   : "";
  if (!RefusesCarRate(record) && CarRatePassed(record)) {
    return Diagnosis{"The port would not take " + Baud(refusal.rate) + readBack + "; 8192 baud, the car's "
                         "rate, worked.",
                     "Nothing to mend for the car." + CheckTheRateToo(record)};
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

std::optional<Diagnosis> NoEchoAtAll(Evidence& evidence) {
  const auto all = PhasesWhere(evidence.record, [](const PhaseRecord&) { return true; });
  const bool silent = !all.empty() && std::ranges::all_of(all, [](const FoundPhase& f) {
    return NothingBack(*f.phase);
  });
  if (!silent) return std::nullopt;
  Explain(evidence, all);
  evidence.explained.speed = true;
  std::string cause = "Nothing came back in any phase: the adaptor's data lines are not looped back, "
                      "this is not the port the adaptor is on, or the adaptor is dead.";
  if (evidence.identity.kind == PortIdentity::Kind::Uart) {
    cause += " " + evidence.identity.name + " is a serial port built into the computer, not a USB adaptor.";
  }
  const std::string ports = evidence.reader == Reader::Window
                                ? "Setup > Com Port names the device behind each one in its tooltip"
                                : "aldl-tester-cli --list names the device behind each one";
  return Diagnosis{cause,
                   "Check that the adaptor's data lines are looped back, that this is the adaptor's port (" + ports +
                       ") and that the adaptor is plugged in; if all that is right, the adaptor is faulty."};
}

// A single-line phase that got nothing back while the other single line powered the adaptor,
// or both single lines silent while the two together powered it; judged at the first rate
// that shows it. A run halted after phase 2 has no phase 3 to compare with.
std::optional<Diagnosis> PowerLine(Evidence& evidence) {
  for (const RateRecord& rate : evidence.record.rates) {
    const auto& phases = rate.phases;
    if (phases.size() < 2) continue;
    if (phases.size() == 3 && !GotBlockBack(phases[2])) continue;
    const bool noDtr = NothingBack(phases[0]);
    const bool noRts = NothingBack(phases[1]);
    std::optional<Diagnosis> found;
    if (noDtr && noRts && phases.size() == 3) {
      found = Diagnosis{"Nothing came back with the adaptor powered from DTR only or from RTS only, "
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
    if (!found && noDtr && GotBlockBack(phases[1])) found = oneLine("DTR", "RTS");
    if (!found && noRts && GotBlockBack(phases[0])) found = oneLine("RTS", "DTR");
    if (!found) continue;
    // The dead line's phases at every rate are this one fault.
    const int deadPhase = noDtr && noRts ? 0 : (noDtr ? 1 : 2);
    Explain(evidence, PhasesWhere(evidence.record, [&](const PhaseRecord& p) {
              return NothingBack(p) && (deadPhase == 0 ? p.phase < 3 : p.phase == deadPhase);
            }));
    return found;
  }
  return std::nullopt;
}

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
  return Diagnosis{what + (noBlock ? " The speed check's 2048-byte block did not come back within 4 "
                                     "seconds either."
                                   : "") +
                       FamilySentence(evidence.family),
                   "Use " + kGoodChips + "."};
}

// The speed check failed: the line runs another rate than 8192, which also explains blocks at
// 8192 that came back short when it runs slow.
std::optional<Diagnosis> SpeedOff(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const ChipFamily* family = evidence.family;
  if (!record.speed || evidence.explained.speed) return std::nullopt;
  const SpeedRecord& speed = *record.speed;
  const bool slow = speed.outcome == SpeedOutcome::NoData ||
                    (speed.outcome == SpeedOutcome::OutOfRange && speed.measuredRate &&
                     *speed.measuredRate < kVehicleBaud);
  if (slow) {
    Explain(evidence, PhasesWhere(record, [&](const PhaseRecord& p) {
              return Is(p, PhaseOutcome::ReceiveTimeout) && p.bytesReceived > 0;
            }));
  }
  if (speed.outcome == SpeedOutcome::NoData) {
    const bool blocksBack = std::ranges::all_of(record.rates, [](const RateRecord& rate) {
      return std::ranges::all_of(rate.phases, GotBlockBack);
    });
    return Diagnosis{std::string(blocksBack ? "The 256-byte blocks came back, but the" : "The") +
                         " speed check's 2048-byte block did not come back whole within 4 seconds: the line "
                         "runs far slower than 8192 baud, or the adaptor loses bytes in a long transfer." +
                         FamilySentence(family),
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

std::optional<Diagnosis> AlteredBytes(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const auto altered = Unexplained(evidence, PhaseOutcome::CompareError);
  if (altered.empty() || !altered.front().phase->mismatch) return std::nullopt;
  Explain(evidence, altered);
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
                     "Nothing to mend for the car, which talks at 8192 baud, where the adaptor passed." +
                         CheckTheRateToo(record)};
  }
  return Diagnosis{what + " Electrical noise, a bad ground, or a level shifter at its limit changes bits "
                          "on the way.",
                   "Check the adaptor's ground connection and solder joints, keep its cable away from "
                   "ignition leads, motors and chargers, and run the test again. If bytes still change, "
                   "the adaptor's level shifter is faulty."};
}

// Receive time-outs that no other fault explains: nothing now and then, part of a block, the
// whole block too late, or more than was sent.
std::optional<Diagnosis> LostBytes(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const auto short_ = Unexplained(evidence, PhaseOutcome::ReceiveTimeout);
  if (short_.empty()) return std::nullopt;
  Explain(evidence, short_);
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
                     "Check the adaptor's ground connection and solder joints, and keep its cable away "
                     "from ignition leads, motors and chargers."};
  }
  const std::string cause =
      got == 0 ? "Nothing came back " + Where(first) + ", while other phases worked: the adaptor drops "
                 "out now and then, from a loose connection or a weak supply."
      : got == kBlockSize
          ? "All " + block + " bytes came back " + Where(first) + ", but later than the time allowed: the "
            "line runs slower than the rate set, or the adaptor holds bytes back."
          : "Only " + std::to_string(got) + " of " + block + " bytes came back " + Where(first) +
                ": bytes are lost on the way, or the line runs slower than the rate set.";
  return Diagnosis{cause, "Check the adaptor's connections and solder joints" + measure};
}

struct RankedRule {
  Rule rule;
  int rank;  // how soon the fault stops the car from talking: 0 first
};

}  // namespace

std::vector<Diagnosis> Diagnose(const RunRecord& record, const PortIdentity& identity, Reader reader) {
  if (record.car && !record.portLost && !record.refusal) return DiagnoseCarLink(*record.car, identity, reader);
  if (!AnythingFailed(record)) return {};
  Evidence evidence{record, identity, ChipFamilyOf(identity), reader, {}};
  // Asked in this order, so that each failure goes to the fault that explains it best: a lost
  // port fails everything after it, a dead line its own phases, a slow line its short blocks.
  const RankedRule rules[] = {
      {PortLost, 0}, {RateRefused, 1}, {NoEchoAtAll, 2}, {PowerLine, 7},
      {SlowSending, 3}, {SpeedOff, 3}, {AlteredBytes, 4}, {LostBytes, 5},
  };
  std::vector<std::pair<int, Diagnosis>> found;
  for (const RankedRule& each : rules) {
    if (auto diagnosis = each.rule(evidence)) found.emplace_back(each.rank, std::move(*diagnosis));
  }
  if (found.empty()) {
    return {{"The test failed in a way this program does not recognise.",
             "Run the test again; if it fails the same way, try another adaptor."}};
  }
  std::ranges::stable_sort(found, {}, &std::pair<int, Diagnosis>::first);
  std::vector<Diagnosis> diagnoses;
  for (auto& [rank, diagnosis] : found) diagnoses.push_back(std::move(diagnosis));
  return diagnoses;
}
