#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "adaptor_tests/diagnosis.h"
#include "serial/chip_families.h"
#include "support/simulated_run.h"
#include "support/text.h"

namespace {

PortIdentity Usb(const std::string& vendor, const std::string& product, const std::string& driver) {
  PortIdentity identity;
  identity.kind = PortIdentity::Kind::Usb;
  identity.name = "ttyUSB0";
  identity.vendorId = vendor;
  identity.productId = product;
  identity.driver = driver;
  return identity;
}

PortIdentity OfKind(PortIdentity::Kind kind, const std::string& name) {
  PortIdentity identity;
  identity.kind = kind;
  identity.name = name;
  return identity;
}

const PortIdentity kSimulated = OfKind(PortIdentity::Kind::Simulated, "");
const PortIdentity kFtdi = Usb("0403", "6001", "ftdi_sio");
const PortIdentity kCh340 = Usb("1a86", "7523", "ch341");
const PortIdentity kCp2102 = Usb("10c4", "ea60", "cp210x");
const PortIdentity kPl2303 = Usb("067b", "2303", "pl2303");
// Known only by the driver, and by ids in capitals with no driver.
const PortIdentity kCp210xByDriver = Usb("10c4", "ffff", "cp210x");
const PortIdentity kPl2303InCapitals = Usb("067B", "2303", "");
const PortIdentity kBuiltIn = OfKind(PortIdentity::Kind::Uart, "ttyS1");

using enum TestKind;

// The chip by its whole USB id, driver or not (Windows names none of Linux's), never by half of it.
TEST(ChipFamilies, EachIdNamesItsFamilyAndOnlyTheWholeIdDoes) {
  const std::tuple<const char*, const char*, std::string_view> ids[] = {
      {"0403", "6001", "FTDI"},          {"0403", "6010", "FTDI"},          {"0403", "6011", "FTDI"},
      {"0403", "6014", "FTDI"},          {"0403", "6015", "FTDI"},          {"1a86", "7523", "CH340/CH341"},
      {"1A86", "5523", "CH340/CH341"},   {"10c4", "ea60", "Silicon Labs CP210x"},
      {"10c4", "ea70", "Silicon Labs CP210x"}, {"10c4", "ea71", "Silicon Labs CP210x"},
      {"067b", "2303", "Prolific PL2303"}, {"067b", "23a3", "Prolific PL2303"},
      {"0403", "ffff", ""},              {"ffff", "6001", ""}};
  for (const auto& [vendor, product, family] : ids) {
    const ChipFamily* found = ChipFamilyOf(Usb(vendor, product, ""));
    EXPECT_EQ(found ? found->name : "", family) << vendor << ":" << product;
  }
}

// The first diagnosis names every part of cause and tells fix; one further diagnosis for each
// of also names it, in order; absent is in no cause and no fix. No cause: no diagnosis.
void ExpectDiagnoses(const std::vector<Diagnosis>& diagnoses, const std::vector<std::string>& cause,
                     const std::string& fix, const std::vector<std::string>& also, const std::string& absent) {
  std::string all;
  for (const Diagnosis& each : diagnoses) all += each.cause + " | " + each.fix + " || ";
  ASSERT_EQ(diagnoses.size(), cause.empty() ? 0 : 1 + also.size()) << all;
  for (const std::string& part : cause) EXPECT_TRUE(Contains(diagnoses[0].cause, part)) << all;
  EXPECT_TRUE(cause.empty() || Contains(diagnoses[0].fix, fix)) << all;
  for (std::size_t i = 0; i < also.size(); ++i) EXPECT_TRUE(Contains(diagnoses[i + 1].cause, also[i])) << all;
  EXPECT_FALSE(!absent.empty() && Contains(all, absent)) << all;
}

// Each fault of the simulated adaptor, alone and two at a time, run on the fake clock, against
// what its diagnosis must name (in the first cause) and tell to do (in its fix), and the further
// faults it must name after it, in order; no diagnosis when every phase passed.
TEST(Diagnosis, NamesTheCauseOfEachSimulatedFault) {
  const struct {
    const char* name;
    TestKind kind;
    std::string device;
    PortIdentity identity;
    std::vector<std::string> cause;  // each must appear in the first cause
    std::string fix;
    std::vector<std::string> also = {};  // a part of each further cause
    std::string absent = "";             // in no cause and no fix
  } runs[] = {
      {"fast, good", Fast, "sim", kFtdi, {}, ""},
      {"fast, dead", Fast, "sim:dead", kFtdi, {"Nothing came back in any phase"}, "looped back"},
      {"fast, dead, built-in port", Fast, "sim:dead", kBuiltIn,
       {"Nothing came back in any phase", "ttyS1 is a serial port built into the computer"}, "--list"},
      {"fast, no DTR", Fast, "sim:no-dtr", kFtdi, {"no power through DTR"}, "DTR supply"},
      {"extended, no RTS", Extended, "sim:no-rts", kCp2102, {"no power through RTS"}, "RTS supply"},
      {"fast, noise", Fast, "sim:noise", kPl2303,
       {"altered: 1 of 256 in phase 1", "byte 255 was sent as 0xFF and came back as 0x00", "noise"},
       "ground"},
      {"fast, 9600 on a CP2102", Fast, "sim:rate=9600", kCp2102,
       {"standard 9600 baud", "CP2101, CP2102 and CP2103 chips cannot run 8192"}, "FTDI or a CH340", {},
       "may be a copy"},
      {"fast, 9600 on an FTDI", Fast, "sim:rate=9600", kFtdi, {"standard 9600 baud", "it may be a copy"},
       "genuine FTDI"},
      {"fast, 6% fast", Fast, "sim:rate=8700", kCh340, {"about 6% fast", "CH340"}, "genuine FTDI"},
      {"fast, 8% slow", Fast, "sim:rate=7500", kPl2303, {"about 8% slow", "PL2303 chips run the nearest"},
       "FTDI or a CH340"},
      {"fast, far off", Fast, "sim:rate=30000", kSimulated, {"far from 8192"}, "FTDI or a CH340"},
      {"fast, far too slow", Fast, "sim:rate=4800", kSimulated,
       {"At 8192 baud the port could not send 256 bytes", "did not come back within 4 seconds"},
       "FTDI or a CH340"},
      {"extended, 9600 whatever is set", Extended, "sim:rate=9600", kCh340,
       {"At 19200 baud the port could not send 256 bytes"}, "Run the fast test", {}, "altered"},
      {"fast, standard rates on a CP2102", Fast, "sim:std-rates", kCp2102,
       {"would not take 8192 baud", "reports 9600 baud", "CP2101, CP2102 and CP2103"}, "FTDI or a CH340",
       {}, "may be a copy"},
      {"fast, standard rates, CP210x by its driver", Fast, "sim:std-rates", kCp210xByDriver,
       {"Silicon Labs CP210x"}, "FTDI or a CH340"},
      {"extended, standard rates on a PL2303", Extended, "sim:std-rates", kPl2303InCapitals,
       {"would not take 8192 baud (afterwards the port reports 4800 baud)", "Prolific PL2303"},
       "FTDI or a CH340"},
      {"fast, standard rates on an FTDI", Fast, "sim:std-rates", kFtdi,
       {"would not take 8192 baud", "although FTDI chips run 8192 baud within 0.1%"}, "Unplug the adaptor"},
      {"fast, pulled in phase 1", Fast, "sim:unplug=815", kCh340,
       {"went away during the test, in phase 1 (DTR power only) at 8192 baud"}, "powered hub"},
      {"fast, pulled in the speed check", Fast, "sim:unplug=4000", kFtdi,
       {"went away during the transfer-speed check"}, "powered hub"},
      {"extended, pulled at 4800", Extended, "sim:unplug=2000", kSimulated,
       {"in phase 2 (RTS power only) at 4800 baud"}, "powered hub"},
      {"fast, 6% fast, no RTS", Fast, "sim:rate=8700,no-rts", kCh340, {"about 6% fast"}, "genuine FTDI",
       {"no power through RTS"}},
      {"fast, no DTR, 9600", Fast, "sim:no-dtr,rate=9600", kFtdi, {"standard 9600 baud"}, "genuine FTDI",
       {"no power through DTR"}},
      {"extended, no DTR, noise", Extended, "sim:no-dtr,noise", kFtdi, {"altered", "in phase 2"}, "ground",
       {"no power through DTR"}},
      {"fast, 6700 baud", Fast, "sim:rate=6700", kCh340, {"at about 6699 baud, far from 8192"}, "genuine FTDI"},
      // A late first byte is the adaptor holding bytes, however late, not a slow line.
      {"fast, echo 160 ms late", Fast, "sim:latency=160", kFtdi,
       {"came back 180 ms after the block went out", "the line runs 8192 baud"}, "latency timer to 1 ms", {},
       "% slow"},
      {"fast, echo 1000 ms late", Fast, "sim:latency=1000", kCh340,
       {"came back 10", "the whole echo came after they had"}, "FTDI chip and its latency timer", {}, "altered"},
      {"fast, no DTR, echo 700 ms late", Fast, "sim:no-dtr,latency=700", kFtdi, {"holds what comes back"},
       "latency timer", {"no power through DTR"}},
      {"fast, every 50th byte lost", Fast, "sim:lose-every=50", kFtdi,
       {"5 of 256 in phase 1", "the first at byte 49, then every 50th", "as a whole block at 8192 baud would be"},
       "USB cable", {}, "far slower"},
      {"extended, every 37th byte lost", Extended, "sim:lose-every=37", kFtdi,
       {"Bytes were lost on the way: 6 of 256 in phase 1 (DTR power only) at 4800 baud", "every 37th"}, "hub"},
      {"fast, bit 7 stuck at 1", Fast, "sim:stuck-high=7", kFtdi,
       {"bit 7 wrong and no other, 1 where it was sent 0: 128 of 256", "in the speed check", "stuck at 1"},
       "8 data bits", {}, "noise on"},
      {"extended, bit 2 stuck at 0", Extended, "sim:stuck-low=2", kCh340, {"Bit 2 is stuck at 0"}, "level shifter"},
      {"fast, dead half-way through the speed check", Fast, "sim:dead-after=1700", kFtdi,
       {"stopped answering", "ms into the speed check, after 932 of its 2048 bytes"}, "solder joints", {},
       "far slower"},
      {"fast, dead after phase 1", Fast, "sim:dead-after=256", kFtdi, {"stopped answering for good after phase 1"},
       "faulty", {}, "far slower"},
      {"fast, a byte of its own after each block", Fast, "sim:extra-byte", kFtdi,
       {"adds bytes of its own: 1 came back after the 256 bytes sent in phase 1", "1 after the speed check's 2048"},
       "line driver"},
  };
  for (const auto& c : runs) {
    SCOPED_TRACE(c.name);
    SimulatedRun run(c.device);
    ExpectDiagnoses(Diagnose(*run.session.Start(c.kind), c.identity), c.cause, c.fix, c.also, c.absent);
  }
}

RateRecord Rate(std::int32_t rate, std::vector<PhaseRecord> phases) { return {rate, std::move(phases)}; }
PhaseRecord Passed(int phase) { return {phase, PhaseOutcome::Passed, 256, std::nullopt}; }
const std::vector<PhaseRecord> kAllPassed = {Passed(1), Passed(2), Passed(3)};

PhaseRecord Back(int phase, std::int32_t bytes) { return {phase, PhaseOutcome::ReceiveTimeout, bytes, std::nullopt}; }
PhaseRecord Altered(int phase) { return {phase, PhaseOutcome::CompareError, 256, ByteMismatch{7, 3, 0x03, 0x83}}; }

RunRecord Record(std::vector<RateRecord> rates, Verdict verdict,
                 std::optional<RateRefusal> refusal = std::nullopt) {
  RunRecord record;
  record.rates = std::move(rates);
  record.verdict = verdict;
  record.refusal = refusal;
  return record;
}

// A fast test's record: the phases at 8192, then the speed check's outcome.
RunRecord FastRun(std::vector<PhaseRecord> phases, SpeedOutcome outcome, std::optional<float> measured = std::nullopt) {
  RunRecord record = Record({Rate(8192, std::move(phases))}, Verdict::Failed);
  record.speed = SpeedRecord{outcome, measured};
  return record;
}

// What the simulated adaptor cannot do: work on both lines but neither alone, lose part of a
// block, alter bytes or refuse a rate only above the car's rate; and runs stopped by the user.
TEST(Diagnosis, TellsFromTheRecordWhatNoSimulatedFaultMakes) {
  const struct {
    const char* name;
    RunRecord record;
    std::string cause;  // empty: no diagnosis
    std::string fix;
    std::string also = "";     // a part of the second cause, when there is one
    std::string absent = "";   // in no cause and no fix
  } records[] = {
      {"halted before anything failed", Record({Rate(4800, {Passed(1)})}, Verdict::Halted), "", ""},
      {"halted after a failure", Record({Rate(4800, {Back(1, 0), Passed(2)})}, Verdict::Halted), "no power through DTR",
       "DTR supply"},
      {"neither line alone", Record({Rate(8192, {Back(1, 0), Back(2, 0), Passed(3)})}, Verdict::Failed),
       "one line alone does not give the adaptor enough power", "supply diodes"},
      {"part of a block", Record({Rate(8192, {Passed(1), Back(2, 200), Passed(3)})}, Verdict::Failed),
       "Only 200 of 256 bytes came back in phase 2", "fast test"},
      {"nothing now and then", Record({Rate(8192, {Passed(1), Passed(2), Back(3, 0)})}, Verdict::Failed),
       "Nothing came back in phase 3 (DTR and RTS power) at 8192 baud, while other phases worked",
       "solder joints"},
      {"altered only above 8192",
       Record({Rate(8192, kAllPassed), Rate(115200, {Altered(1), Passed(2), Passed(3)})}, Verdict::Failed),
       "7 of 256 in phase 1 (DTR power only) at 115200 baud (byte 3 was sent as 0x03 and came back as "
       "0x83). This happens only above 8192 baud",
       "Nothing to mend for the car"},
      {"refused above 8192",
       Record({Rate(4800, kAllPassed), Rate(8192, kAllPassed)}, Verdict::RateRefused, RateRefusal{57600, 8192}),
       "would not take 57600 baud (afterwards the port reports 8192 baud); 8192 baud, the car's rate, worked",
       "Nothing to mend for the car"},
      {"8192 refused by the speed check after its phases passed",
       Record({Rate(8192, kAllPassed)}, Verdict::RateRefused, RateRefusal{8192, 9600}),
       "would not take 8192 baud (afterwards the port reports 9600 baud)", "Unplug the adaptor", "",
       "Nothing to mend"},
      {"altered above 8192 while 8192 lost its RTS phase",
       Record({Rate(8192, {Passed(1), Back(2, 0), Passed(3)}), Rate(115200, {Altered(1), Passed(2), Passed(3)})},
              Verdict::Failed),
       "Electrical noise", "ground", "no power through RTS"},
      {"altered and short in one fast test",
       FastRun({Altered(1), Back(2, 200), Passed(3)}, SpeedOutcome::Passed, 8190.f),
       "Bytes came back altered", "ground", "Only 200 of 256 bytes came back in phase 2"},
      {"short after a fast test whose speed passed", FastRun({Passed(1), Back(2, 200), Passed(3)}, SpeedOutcome::Passed, 8190.f),
       "Only 200 of 256", "found the line at the right rate", "", "run the fast test"},
      {"the whole block, too late", FastRun({Passed(1), Back(2, 256), Passed(3)}, SpeedOutcome::Passed, 8190.f),
       "All 256 bytes came back in phase 2 (RTS power only) at 8192 baud, but later", "solder joints", "",
       "run the fast test"},
      {"more than was sent", FastRun({Passed(1), Passed(2), Back(3, 257)}, SpeedOutcome::Passed, 8190.f),
       "257 bytes came back for the 256 sent in phase 3", "ground"},
      {"short blocks on a line measured slow",
       FastRun({Back(1, 240), Back(2, 241), Back(3, 240)}, SpeedOutcome::OutOfRange, 5300.f),
       "at about 5300 baud, far from 8192", "FTDI"},
      {"1% below 9600", FastRun(kAllPassed, SpeedOutcome::OutOfRange, 9500.f), "really runs at the standard 9600 baud",
       "FTDI"},
      {"10% slow", FastRun(kAllPassed, SpeedOutcome::OutOfRange, 7350.f), "about 10% slow", "FTDI"},
      {"nothing back only above the car's rate",
       Record({Rate(8192, kAllPassed), Rate(57600, {Back(1, 0), Back(2, 0), Back(3, 0)}),
               Rate(115200, {Back(1, 0), Back(2, 0), Back(3, 0)})},
              Verdict::Failed),
       "Nothing came back at 57600 and 115200 baud, while 8192 baud, the car's rate, passed",
       "Nothing to mend for the car"},
      {"neither line alone at one rate, phase 3 silent at another",
       Record({Rate(8192, {Back(1, 0), Back(2, 0), Passed(3)}), Rate(9600, {Passed(1), Passed(2), Back(3, 0)})},
              Verdict::Failed),
       "Nothing came back in phase 3 (DTR and RTS power) at 9600 baud", "solder joints",
       "one line alone does not give the adaptor enough power"},
      {"the speed check's block short, the blocks back",
       FastRun(kAllPassed, SpeedOutcome::NoData), "The 256-byte blocks came back, but the speed check's", "extended"},
      {"the speed check's block short, a block short too",
       FastRun({Passed(1), Back(2, 200), Passed(3)}, SpeedOutcome::NoData), "The speed check's 2048-byte block",
       "extended"},
  };
  for (const auto& c : records) {
    SCOPED_TRACE(c.name);
    const auto listed = [](const std::string& part) { return part.empty() ? std::vector<std::string>{} : std::vector{part}; };
    ExpectDiagnoses(Diagnose(c.record, kFtdi), listed(c.cause), c.fix, listed(c.also), c.absent);
  }
}

}  // namespace
