#include "adaptor_tests/diagnosis.h"

#include <algorithm>

#include "adaptor_tests/diagnosis_evidence.h"
#include "car_link/car_link_diagnosis.h"

namespace {

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
      {PortLost, 0},    {RateRefused, 1}, {NoEchoAtAll, 2},  {DeadLine, 2},     {PowerLine, 7},  {SlowSending, 3},
      {Latency, 3},     {StuckBit, 4},    {SpeedOff, 3},     {AlteredBytes, 4}, {ExtraBytes, 5}, {LostBytes, 5},
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
