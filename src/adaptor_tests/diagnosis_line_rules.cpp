// The port and the line's power: a port that went away, a rate it would not take, an adaptor that
// never answered, one that stopped answering, and a power line that does not power it.

#include <algorithm>

#include "adaptor_tests/diagnosis_evidence.h"

namespace {

// An exchange in the order the run made them: a phase, or the speed check (no phase).
struct Exchange {
  std::int32_t rate;
  const PhaseRecord* phase;
};

// The speed check's bytes that stop this long before its 4096 ms are over have stopped for good.
constexpr std::int32_t kDeadSilenceMs = 1000;
constexpr std::int32_t kSpeedDeadlineMs = 2 * kSpeedBlockSize;
// After the last exchange that got anything back, this many that got nothing make a dead line.
constexpr std::size_t kDeadExchanges = 2;

bool SpeedGotNothing(const SpeedRecord& speed) {
  return speed.outcome == SpeedOutcome::NoData && speed.bytesReceived == 0 && speed.timing.bytesAfter == 0;
}

}  // namespace

std::optional<Diagnosis> PortLost(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  if (!record.portLost) return std::nullopt;
  const auto gone = Unexplained(evidence, PhaseOutcome::PortNotOpen);
  Explain(evidence, gone, record.speed && record.speed->outcome == SpeedOutcome::PortNotOpen);
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
                   "Plug the adaptor firmly into the computer itself or into a powered hub, check that " + portBack +
                       ", then run the test again."};
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
    return Diagnosis{"The port would not take " + Baud(refusal.rate) + readBack +
                         "; 8192 baud, the car's rate, worked.",
                     "Nothing to mend for the car." + CheckTheRateToo(record)};
  }
  const std::string rate = refusal.rate > 0 ? Baud(refusal.rate) : "8192 baud, the rate it is set to as it opens";
  if (family && family->runs8192) {
    return Diagnosis{"The port would not take " + rate + readBack + ", although " + std::string(family->at8192) +
                         ": the chip may be a copy that behaves differently, or its driver is unusual.",
                     "Unplug the adaptor, plug it in again and rerun the test; if the rate is still refused, use "
                     "another adaptor, with a genuine FTDI or a CH340 chip."};
  }
  return Diagnosis{"The port would not take " + rate + readBack +
                       ": its chip or driver cannot run that rate, as many USB serial chips cannot." +
                       FamilySentence(family),
                   "Use " + kGoodChips + ". This adaptor cannot talk to the car at 8192 baud."};
}

std::optional<Diagnosis> NoEchoAtAll(Evidence& evidence) {
  const auto all = PhasesWhere(evidence.record, [](const PhaseRecord&) { return true; });
  const bool silent = !all.empty() && std::ranges::all_of(all, [](const FoundPhase& f) { return NothingBack(*f.phase); }) &&
                      (!evidence.record.speed || evidence.record.speed->bytesReceived == 0);
  if (!silent) return std::nullopt;
  Explain(evidence, all);
  evidence.explained.speed = true;
  std::string cause = "Nothing came back in any phase: the adaptor's data lines are not looped back, "
                      "this is not the port the adaptor is on, or the adaptor is dead.";
  if (evidence.identity.kind == PortIdentity::Kind::Uart) {
    cause += " " + evidence.identity.name + " is a serial port built into the computer, not a USB adaptor.";
  }
  return Diagnosis{cause, "Check that the adaptor's data lines are looped back, that this is the adaptor's port (" +
                              PortsWay(evidence.reader) +
                              ") and that the adaptor is plugged in; if all that is right, the adaptor is faulty."};
}

// Answers that stop for good are a dead adaptor or a lost contact, not a slow line: the speed
// check's bytes that stop long before its end, or nothing back in any exchange after one that
// worked.
std::optional<Diagnosis> DeadLine(Evidence& evidence) {
  const RunRecord& record = evidence.record;
  const std::string fix =
      "Check the adaptor's connections, solder joints and supply, unplug it and plug it in again, and run the "
      "test again; if it stops again, the adaptor is faulty.";
  // Its bytes came in order up to a point, none lost before it, and none after it.
  if (record.speed && record.speed->outcome == SpeedOutcome::NoData && record.speed->bytesReceived > 0 &&
      record.speed->timing.bytesAfter == 0 && !LostOnTheWay(record.speed->comparison, kSpeedBlockSize) &&
      record.speed->timing.lastByteMs &&
      kSpeedDeadlineMs - *record.speed->timing.lastByteMs >= kDeadSilenceMs) {
    evidence.explained.speed = true;
    return Diagnosis{"The adaptor stopped answering " + std::to_string(*record.speed->timing.lastByteMs) +
                         " ms into the speed check, after " + std::to_string(record.speed->bytesReceived) +
                         " of its 2048 bytes, and nothing more came: it died or lost contact, it does not run slow.",
                     fix};
  }
  std::vector<Exchange> exchanges;
  for (const RateRecord& rate : record.rates) {
    for (const PhaseRecord& phase : rate.phases) exchanges.push_back({rate.rate, &phase});
  }
  const bool speedSilent = record.speed && SpeedGotNothing(*record.speed);
  const auto lastAnswer = std::ranges::find_if(exchanges.rbegin(), exchanges.rend(), [](const Exchange& e) {
    return SomethingBack(*e.phase);
  });
  if (lastAnswer == exchanges.rend()) return std::nullopt;
  const std::vector<Exchange> after(lastAnswer.base(), exchanges.end());
  if (!std::ranges::all_of(after, [](const Exchange& e) { return NothingBack(*e.phase); })) return std::nullopt;
  // An answer that itself stopped part-way, its first bytes in order and none after, is where it
  // died.
  const PhaseRecord& last = *lastAnswer->phase;
  const bool stoppedInIt = Is(last, PhaseOutcome::ReceiveTimeout) && last.timing.bytesAfter == 0 &&
                           !LostOnTheWay(last.comparison, kBlockSize);
  const std::size_t silentAfter = after.size() + (speedSilent ? 1 : 0) + (stoppedInIt ? 1 : 0);
  // Silence only at the higher rates after it is those rates' limit, not a dead adaptor.
  const bool sameRateSilent =
      speedSilent || std::ranges::any_of(after, [&](const Exchange& e) { return e.rate == lastAnswer->rate; });
  if (silentAfter < kDeadExchanges || !sameRateSilent || (record.speed && !speedSilent)) return std::nullopt;
  for (const Exchange& each : after) evidence.explained.phases.insert(each.phase);
  evidence.explained.speed = evidence.explained.speed || speedSilent;
  if (stoppedInIt) evidence.explained.phases.insert(&last);
  return Diagnosis{"The adaptor stopped answering for good " + std::string(stoppedInIt ? "during" : "after") +
                       " phase " + std::to_string(last.phase) + " at " + Baud(lastAnswer->rate) +
                       ": nothing came back in any exchange after it. It died or lost contact; a slow line would "
                       "still bring something back.",
                   fix};
}

// A single-line phase that got nothing back while the other single line powered the adaptor, or
// both single lines silent while the two together powered it; judged at the first rate that
// shows it, each line from its own phase: a block that came back short or late still had power.
// A run halted after phase 2 has no phase 3 to compare with.
std::optional<Diagnosis> PowerLine(Evidence& evidence) {
  for (const RateRecord& rate : evidence.record.rates) {
    const auto& phases = rate.phases;
    if (phases.size() < 2) continue;
    if (phases.size() == 3 && !SomethingBack(phases[2])) continue;
    const bool noDtr = NothingBack(phases[0]);
    const bool noRts = NothingBack(phases[1]);
    std::optional<Diagnosis> found;
    if (noDtr && noRts && phases.size() == 3) {
      found = Diagnosis{"Nothing came back with the adaptor powered from DTR only or from RTS only, while both "
                        "lines together worked: one line alone does not give the adaptor enough power.",
                        "Check the adaptor's two supply diodes and its regulator. If they are good, the port's "
                        "lines give too little current for this adaptor: use one that draws less."};
    }
    const auto oneLine = [](const std::string& dead, const std::string& live) {
      return Diagnosis{"Nothing came back with the adaptor powered from " + dead + " only, while " + live +
                           " alone worked: the adaptor gets no power through " + dead + ". Its diode or regulator "
                           "on the " + dead + " line is open, or the wire that brings " + dead + " to it is broken.",
                       "Check the diode and the solder joints on the adaptor's " + dead +
                           " supply, and the wire that carries " + dead + " from the port to it."};
    };
    if (!found && noDtr && SomethingBack(phases[1])) found = oneLine("DTR", "RTS");
    if (!found && noRts && SomethingBack(phases[0])) found = oneLine("RTS", "DTR");
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
