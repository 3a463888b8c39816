#include "adaptor_tests/diagnosis_evidence.h"

#include <algorithm>
#include <cstdio>

#include "adaptor_tests/number_formats.h"

std::string Baud(double rate) { return FormatWhole(rate) + " baud"; }

std::string Hex(std::uint8_t byte) {
  char text[5];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

std::string Where(const FoundPhase& found) {
  static const char* const kPower[] = {"DTR power only", "RTS power only", "DTR and RTS power"};
  return "in phase " + std::to_string(found.phase->phase) + " (" + kPower[found.phase->phase - 1] + ") at " +
         Baud(found.rate);
}

std::string Spread(const Positions& positions) {
  std::string text = "the first at byte " + std::to_string(positions.first);
  if (positions.count > 1 && positions.spacing) {
    text += *positions.spacing == 1 ? ", in a row" : ", then every " + std::to_string(*positions.spacing) + "th";
  }
  return text;
}

std::vector<FoundPhase> PhasesWhere(const RunRecord& record, const std::function<bool(const PhaseRecord&)>& matches) {
  std::vector<FoundPhase> found;
  for (const RateRecord& rate : record.rates) {
    for (const PhaseRecord& phase : rate.phases) {
      if (matches(phase)) found.push_back({rate.rate, &phase});
    }
  }
  return found;
}

std::vector<FoundPhase> Unexplained(const Evidence& evidence, PhaseOutcome outcome) {
  return PhasesWhere(evidence.record, [&](const PhaseRecord& p) {
    return p.outcome == outcome && !evidence.explained.phases.contains(&p);
  });
}

void Explain(Evidence& evidence, const std::vector<FoundPhase>& found, bool speedToo) {
  for (const FoundPhase& each : found) evidence.explained.phases.insert(each.phase);
  evidence.explained.speed = evidence.explained.speed || speedToo;
}

bool Is(const PhaseRecord& phase, PhaseOutcome outcome) { return phase.outcome == outcome; }

bool GotBlockBack(const PhaseRecord& phase) {
  return Is(phase, PhaseOutcome::Passed) || Is(phase, PhaseOutcome::CompareError);
}

bool NothingBack(const PhaseRecord& phase) {
  return Is(phase, PhaseOutcome::ReceiveTimeout) && phase.bytesReceived == 0 && phase.timing.bytesAfter == 0;
}

bool SomethingBack(const PhaseRecord& phase) {
  return GotBlockBack(phase) || phase.bytesReceived > 0 || phase.timing.bytesAfter > 0;
}

bool LostOnTheWay(const std::optional<BlockComparison>& comparison, std::int32_t size) {
  if (!comparison || !comparison->missing) return false;
  const Positions& missing = *comparison->missing;
  const bool tail = missing.first + missing.count == size && (missing.count == 1 || missing.spacing == 1);
  return !tail;
}

bool AnythingFailed(const RunRecord& record) {
  const bool phaseFailed =
      !PhasesWhere(record, [](const PhaseRecord& p) { return !Is(p, PhaseOutcome::Passed); }).empty();
  const bool speedFailed = record.speed && record.speed->outcome != SpeedOutcome::Passed;
  return phaseFailed || speedFailed || record.refusal || record.portLost || record.verdict == Verdict::Failed;
}

bool CarRatePassed(const RunRecord& record) {
  const auto at8192 = std::ranges::find(record.rates, kVehicleBaud, &RateRecord::rate);
  return at8192 != record.rates.end() && at8192->phases.size() == 3 &&
         std::ranges::all_of(at8192->phases, [](const PhaseRecord& p) { return Is(p, PhaseOutcome::Passed); });
}

std::string CheckTheRateToo(const RunRecord& record) {
  return record.speed ? "" : " Run the fast test to check that 8192 baud is really 8192 on this adaptor.";
}

std::string FamilySentence(const ChipFamily* family) {
  if (!family) return "";
  return " This adaptor has a " + std::string(family->name) + " chip; " + std::string(family->at8192) + ".";
}

std::string PortsWay(Reader reader) {
  return reader == Reader::Window ? "Setup > Com Port names the device behind each one in its tooltip"
                                  : "aldl-tester-cli --list names the device behind each one";
}
