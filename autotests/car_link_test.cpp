#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "adaptor_tests/diagnosis.h"
#include "car_link/car_link_texts.h"
#include "car_link/car_link_verdict.h"
#include "car_link/frame_finder.h"
#include "support/simulated_run.h"
#include "support/text.h"

namespace {

// The frames found, as "F4 57 01 00 B4" with "!" after one whose checksum fails, and the
// positions of the bytes in no frame.
struct Found {
  std::vector<std::string> frames;
  std::vector<std::size_t> unframed;
  std::optional<std::size_t> partialFrom;
};

Found Find(const std::vector<std::uint8_t>& bytes, std::set<std::uint8_t> expected, bool complete) {
  const FoundFrames found = FindFrames(bytes, expected, complete);
  Found result{{}, found.unframed, found.partialFrom};
  for (const FoundFrame& frame : found.frames) {
    result.frames.push_back(Hex(std::span(bytes).subspan(frame.start, frame.length)) +
                            (frame.checksumGood ? "" : "!"));
  }
  return result;
}

const FrameBytes kRequest = DataRequest(0xF4);
const FrameBytes kHeartbeat = {0x08, 0x55, 0xA3};

FrameBytes Joined(std::initializer_list<FrameBytes> parts) {
  FrameBytes all;
  for (const FrameBytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Frames are found by their length byte and checksum wherever they stand among other bytes.
TEST(FrameFinder, FindsFramesByStructureAndChecksumNotByGaps) {
  FrameBytes offByOne = kRequest;
  ++offByOne.back();
  const FrameBytes reply = MakeFrame(0xF4, kModeSendData, FrameBytes(63, 0x11));
  const struct {
    const char* name;
    FrameBytes bytes;
    std::set<std::uint8_t> expected;
    bool complete;
    std::vector<std::string> frames;
    std::vector<std::size_t> unframed;
    std::optional<std::size_t> partialFrom = std::nullopt;
  } cases[] = {
      {"back to back", Joined({kRequest, kHeartbeat, MakeFrame(0xF4, 8)}), {}, true,
       {"F4 57 01 00 B4", "08 55 A3", "F4 56 08 AE"}, {}},
      {"chatter between the echo and the reply", Joined({kRequest, kHeartbeat, reply}), {0xF4}, true,
       {"F4 57 01 00 B4", "08 55 A3", Hex(reply)}, {}},
      {"stray bytes before and after", Joined({{0x00, 0xFF}, kHeartbeat, {0x42}}), {}, true, {"08 55 A3"}, {0, 1, 5}},
      {"a checksum off by one is no frame", offByOne, {}, true, {}, {0, 1, 2, 3, 4}},
      {"... unless its ID is expected", offByOne, {0xF4}, true, {"F4 57 01 00 B5!"}, {}},
      {"a length byte below 0x55", {0xF4, 0x54, 0x01, 0x00, 0xB7}, {0xF4}, true, {}, {0, 1, 2, 3, 4}},
      {"split: the rest of the expected frame is still to come", {0x42, 0xF4, 0x57, 0x01}, {0xF4}, false, {}, {0}, 1},
      {"a stray byte claiming a long frame hides none after it", Joined({{0x10, 0xFE}, kHeartbeat}), {0xF4}, false,
       {"08 55 A3"}, {0, 1}},
      {"nothing more comes: the cut frame is no frame", {0xF4, 0x57, 0x01}, {0xF4}, true, {}, {0, 1, 2}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Found found = Find(c.bytes, c.expected, c.complete);
    EXPECT_EQ(found.frames, c.frames);
    EXPECT_EQ(found.unframed, c.unframed);
    EXPECT_EQ(found.partialFrom, c.partialFrom);
  }
}

// A run of the car link test on the fake clock, on COM 1 with the device given.
struct CarRun {
  explicit CarRun(const std::string& device, CarLinkOptions options = {}) : run(device) {
    run.session.CarLink = options;
  }
  RunRecord Start() { return *run.session.Start(TestKind::Car); }
  std::vector<std::uint8_t> ModesHeard() {
    std::vector<std::uint8_t> modes;
    for (const FrameBytes& frame : run.ports.CarHeard(1)) modes.push_back(ModeOf(frame).value_or(0xFF));
    return modes;
  }
  SimulatedRun run;
};

// Each fault of the simulated car, and some of the adaptor's, alone and together: the verdict,
// the ECU that answered, and what the diagnosis must name.
TEST(CarLinkTest, EachFaultGetsItsVerdictAndATrueDiagnosis) {
  const struct {
    std::string device;
    CarLinkOptions options;
    CarVerdict verdict;
    std::optional<std::uint8_t> answered;
    std::vector<std::string> cause;
    std::string fix;
  } runs[] = {
      {"sim:car", {}, CarVerdict::Answered, 0xF4, {}, ""},
      {"sim:ecu=F5", {}, CarVerdict::Answered, 0xF5, {}, ""},
      {"sim:chatter", {}, CarVerdict::Answered, 0xF4, {}, ""},
      {"sim:chatter,late=60", {0xF4}, CarVerdict::Answered, 0xF4, {}, ""},
      {"sim:car,ignition-off", {}, CarVerdict::OnlyEcho, {}, {"no computer answered any of the IDs F4, F5"}, "ignition on"},
      {"sim:ecu=F5", {0xF4}, CarVerdict::OnlyEcho, {}, {"no computer answered ID F4"}, "check the ECU's ID"},
      {"sim:chatter,ignition-off", {0xF4}, CarVerdict::OnlyEcho, {}, {"no computer answered ID F4"}, "ignition"},
      {"sim:bad-checksum", {}, CarVerdict::ReplyBroken, {}, {"ECU F4 answered", "does not add up"}, "ground"},
      {"sim:late=300", {}, CarVerdict::ReplyLate, {}, {"ECU F4 answered, but 316 ms", "the ECU itself took about 306 ms"},
       "longer time limit"},
      {"sim:late=40,latency=130", {}, CarVerdict::ReplyLate, {}, {"echo took 130 ms", "holds received bytes"}, "latency"},
      {"sim:160-baud", {}, CarVerdict::NoValidFrame, {}, {"nothing in it is an 8192-baud frame", "160-baud"}, "160-baud interface"},
      {"sim:held-low", {}, CarVerdict::LineHeldLow, {}, {"held low", "zero bytes"}, "measure the ALDL data pin"},
      {"sim:no-echo", {}, CarVerdict::NoEcho, {}, {"not even the tester's own request"}, "data pin (M)"},
      {"sim:car,noise", {}, CarVerdict::EchoAltered, {}, {"sent F4 57 01 00 B4, came back F4 57 01 00 4B"}, "ground"},
      {"sim:car,dead", {}, CarVerdict::NoEcho, {}, {"not even the tester's own request"}, "fast test"},
      {"sim:car,no-dtr,no-rts", {}, CarVerdict::NoEcho, {}, {"the adaptor has no power"}, "fast test"},
      {"sim:car,std-rates", {}, CarVerdict::RateRefused, {}, {"would not take 8192 baud"}, ""},
      {"sim:chatter,unplug=1500", {}, CarVerdict::PortLost, {}, {"went away during the car link test"}, "Plug the adaptor"},
  };
  for (const auto& c : runs) {
    SCOPED_TRACE(c.device + (c.options.ecuId ? " asking " + HexByte(*c.options.ecuId) : ""));
    CarRun car(c.device, c.options);
    const RunRecord record = car.Start();
    ASSERT_TRUE(record.car);
    EXPECT_EQ(record.car->verdict, c.verdict);
    EXPECT_EQ(record.car->answeredId, c.answered);
    const auto diagnoses = Diagnose(record, PortIdentity{});
    EXPECT_EQ(diagnoses.empty(), c.cause.empty());
    for (const std::string& word : c.cause) EXPECT_TRUE(Contains(diagnoses.front().cause, word)) << diagnoses.front().cause;
    if (!c.fix.empty()) {
      EXPECT_TRUE(Contains(diagnoses.front().fix, c.fix)) << diagnoses.front().fix;
    }
    const bool passed = c.verdict == CarVerdict::Answered;
    EXPECT_EQ(record.verdict, passed ? Verdict::Passed
                              : c.verdict == CarVerdict::RateRefused ? Verdict::RateRefused
                                                                     : Verdict::Failed);
    if (c.verdict != CarVerdict::RateRefused) {
      EXPECT_EQ(car.run.panel.colour, passed ? kGreen : kRed);
      EXPECT_EQ(car.run.panel.status, passed ? "Car Link Test Passed!" : "Car Link Test Failed!");
    }
  }
}

// Without a chosen ID the common ones are asked in turn, three times each, up to the one that
// answers; a line that brings no echo back is not worth asking the other IDs on.
TEST(CarLinkTest, AsksTheCommonIdsInTurnUntilOneAnswers) {
  const auto askedIds = [](const RunRecord& record) {
    std::string ids;
    for (const CarAttempt& attempt : record.car->attempts) ids += HexByte(attempt.id) + " ";
    return ids;
  };
  EXPECT_EQ(askedIds(CarRun("sim:ecu=F7").Start()), "F4 F4 F4 F5 F5 F5 F7 ");
  EXPECT_EQ(askedIds(CarRun("sim:ecu=80,ignition-off").Start()),
            "F4 F4 F4 F5 F5 F5 F7 F7 F7 E4 E4 E4 F0 F0 F0 80 80 80 ");
  EXPECT_EQ(askedIds(CarRun("sim:no-echo").Start()), "F4 F4 F4 ");
}

// On the fake clock the line is time-true: the echo 10 ms after the request's last byte, the
// reply 5 ms after the request plus the echo's way back; a latency timer's bursts are seen.
TEST(CarLinkTest, TimesTheEchoAndTheReplyAndSeesALatencyTimer) {
  const struct {
    std::string device;
    std::optional<std::int32_t> echoMs;
    std::optional<std::int32_t> replyMs;
    std::optional<std::int32_t> bursts;
  } runs[] = {
      {"sim:car", 10, 16, std::nullopt},
      {"sim:car,late=47", 10, 63, std::nullopt},
      {"sim:car,latency=33", 33, 39, std::nullopt},
      {"sim:car,timer=16", std::nullopt, std::nullopt, 16},
      {"sim:car,timer=11", std::nullopt, std::nullopt, 11},
  };
  for (const auto& c : runs) {
    SCOPED_TRACE(c.device);
    const RunRecord record = CarRun(c.device).Start();
    const CarAttempt& answer = *DecisiveAttempt(*record.car);
    EXPECT_EQ(answer.outcome, CarAttempt::Outcome::Answered);
    if (c.echoMs) {
      EXPECT_EQ(answer.echoMs, c.echoMs);
      EXPECT_EQ(answer.replyMs, c.replyMs);
    }
    EXPECT_EQ(answer.reply.size(), 67u);
    EXPECT_EQ(record.car->burstSpacingMs, c.bursts);
  }
  // Bursts need most gaps alike, and several bytes each but the last.
  EXPECT_EQ(BurstSpacing(std::vector<std::int32_t>{0, 0, 0, 16, 16, 16, 32, 32, 32, 48, 48}), 16);
  EXPECT_EQ(BurstSpacing(std::vector<std::int32_t>{0, 0, 0, 16, 16, 16, 40, 40, 40, 48, 48, 48}), std::nullopt);
  EXPECT_EQ(BurstSpacing(std::vector<std::int32_t>{0, 16, 32, 48}), std::nullopt);
}

// What the other modules say is heard and named, never taken for the reply, and after mode 8
// they keep quiet until mode 9; the car hears nothing but modes 1, 8 and 9.
TEST(CarLinkTest, ChatterIsNamedAndQuietedOnlyWhenAsked) {
  CarRun chatty("sim:chatter");
  const RunRecord heard = chatty.Start();
  EXPECT_EQ(ChatteringIds(*heard.car), (std::vector<std::uint8_t>{0x08, 0xF1}));
  EXPECT_EQ(chatty.ModesHeard(), (std::vector<std::uint8_t>{kModeSendData}));

  CarRun quiet("sim:chatter", {std::nullopt, true});
  const RunRecord record = quiet.Start();
  EXPECT_EQ(quiet.ModesHeard(), (std::vector<std::uint8_t>{kModeQuietBus, kModeSendData, kModeResumeBus}));
  for (const CarAttempt& attempt : record.car->attempts) {
    EXPECT_TRUE(std::ranges::none_of(attempt.heard.frames, [](const HeardFrame& f) { return f.bytes[0] == 0x08; }));
  }
  EXPECT_TRUE(Contains(quiet.run.panel.report, "Sending F4 56 08 AE"));
  EXPECT_TRUE(Contains(quiet.run.panel.report, "Sending F4 56 09 AD"));
}

// After mode 8, mode 9 follows however the test ends: it passes, it is stopped while it asks,
// the window closes the port, or the port is lost (then on its next open).
TEST(CarLinkTest, ModeNineFollowsModeEightOnEveryEnding) {
  const std::vector<std::uint8_t> quietThenResume = {kModeQuietBus, kModeSendData, kModeResumeBus};
  // Stopped, or the port closed in the middle of the asking, as a closed window's is.
  for (const bool stop : {true, false}) {
    CarRun asking("sim:chatter,ecu=F5", {0xF4, true});
    asking.run.onEvents = [&] {
      if (!Contains(asking.run.panel.report, "try 2") || !asking.run.port.MSComm1.PortOpen()) return;
      stop ? asking.run.session.Stop() : asking.run.port.ComSetup().CloseCom();
    };
    EXPECT_EQ(asking.Start().car->verdict, stop ? CarVerdict::Halted : CarVerdict::PortLost);
    EXPECT_EQ(asking.ModesHeard(), (std::vector<std::uint8_t>{kModeQuietBus, kModeSendData, kModeSendData, kModeResumeBus}));
  }
  {
    CarRun pulled("sim:chatter,unplug=2100", {0xF4, true});
    EXPECT_EQ(pulled.Start().car->verdict, CarVerdict::PortLost);
    EXPECT_EQ(pulled.ModesHeard(), (std::vector<std::uint8_t>{kModeQuietBus}));
    // Plugged in again: the first thing the car hears is mode 9.
    pulled.run.ports.Assign(1, "sim:car");
    DropLostPort(pulled.run.port);
    SelectComPort(pulled.run.port, 1);
    for (const auto& request : {FrameBytes{}, DataRequest(0xF4)}) {
      pulled.run.port.MSComm1.SetOutput(request);
      pulled.run.clock.Advance(200);
      pulled.run.port.MSComm1.InBufferCount();
    }
    EXPECT_EQ(pulled.ModesHeard(), (std::vector<std::uint8_t>{kModeResumeBus, kModeSendData}));
  }
  CarRun passed("sim:chatter", {0xF4, true});
  EXPECT_EQ(passed.Start().car->verdict, CarVerdict::Answered);
  EXPECT_EQ(passed.ModesHeard(), quietThenResume);
}

}  // namespace
