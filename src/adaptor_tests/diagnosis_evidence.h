#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "adaptor_tests/run_record.h"
#include "common/diagnosis.h"
#include "serial/chip_families.h"
#include "serial/port_identity.h"

// What the diagnosis rules share: the run's record and the adaptor's identity, what earlier
// rules have already accounted for, and the words they all use.

inline constexpr std::int32_t kBlockSize = 256;
// A first byte back later than this after its block went out was held: the line brings it in a
// character time, a latency timer in up to 16 ms more, and a busy PC notices it within tens.
inline constexpr std::int32_t kLateFirstByteMs = 100;

inline const std::string kGoodChips = "an adaptor with an FTDI or a CH340 chip, which run 8192 baud within 0.1%";

struct FoundPhase {
  std::int32_t rate;
  const PhaseRecord* phase;
};

// What the findings so far account for, so that no failure is named twice.
struct Explained {
  std::set<const PhaseRecord*> phases;
  bool speed = false;
};

struct Evidence {
  const RunRecord& record;
  const PortIdentity& identity;
  const ChipFamily* family;
  Reader reader;
  Explained explained;
};

using Rule = std::optional<Diagnosis> (*)(Evidence&);

std::string Baud(double rate);
std::string Hex(std::uint8_t byte);
// "in phase 2 (RTS power only) at 8192 baud"
std::string Where(const FoundPhase& found);
// "the first at byte 49, then every 50th": where positions stand in a block.
std::string Spread(const Positions& positions);

std::vector<FoundPhase> PhasesWhere(const RunRecord& record, const std::function<bool(const PhaseRecord&)>& matches);
// The failed phases of an outcome that no finding has accounted for yet.
std::vector<FoundPhase> Unexplained(const Evidence& evidence, PhaseOutcome outcome);
// Those phases, and the speed check when speedToo, are accounted for.
void Explain(Evidence& evidence, const std::vector<FoundPhase>& found, bool speedToo = false);

bool Is(const PhaseRecord& phase, PhaseOutcome outcome);
// The block came back, whole or altered: the adaptor was powered.
bool GotBlockBack(const PhaseRecord& phase);
// Nothing at all came back, in time or after it.
bool NothingBack(const PhaseRecord& phase);
// Something of the block came back, however little and however late: the adaptor was powered.
bool SomethingBack(const PhaseRecord& phase);
// Bytes lost here and there in a block of size, not a block cut short.
bool LostOnTheWay(const std::optional<BlockComparison>& comparison, std::int32_t size);
bool AnythingFailed(const RunRecord& record);
// Whether every phase at 8192 baud passed: the car's rate works whatever happens elsewhere.
bool CarRatePassed(const RunRecord& record);
// The loopback at 8192 says nothing of the rate the line really runs; only the fast test's speed
// check does.
std::string CheckTheRateToo(const RunRecord& record);
// " This adaptor has a ... chip; ...", or nothing for an unknown chip.
std::string FamilySentence(const ChipFamily* family);
// How the reader finds which device each port is: the window's menu, or the runner's --list.
std::string PortsWay(Reader reader);

// The rules, each in the file of its kind of fault: the port and the line's power
// (diagnosis_line_rules.cpp), the rate and the adaptor's latency (diagnosis_rate_rules.cpp), and
// the bytes themselves (diagnosis_byte_rules.cpp).
std::optional<Diagnosis> PortLost(Evidence& evidence);
std::optional<Diagnosis> RateRefused(Evidence& evidence);
std::optional<Diagnosis> NoEchoAtAll(Evidence& evidence);
std::optional<Diagnosis> DeadLine(Evidence& evidence);
std::optional<Diagnosis> PowerLine(Evidence& evidence);
std::optional<Diagnosis> SlowSending(Evidence& evidence);
std::optional<Diagnosis> Latency(Evidence& evidence);
std::optional<Diagnosis> SpeedOff(Evidence& evidence);
std::optional<Diagnosis> StuckBit(Evidence& evidence);
std::optional<Diagnosis> AlteredBytes(Evidence& evidence);
std::optional<Diagnosis> ExtraBytes(Evidence& evidence);
std::optional<Diagnosis> LostBytes(Evidence& evidence);
