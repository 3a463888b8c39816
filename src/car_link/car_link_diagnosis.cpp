#include "car_link/car_link_diagnosis.h"

#include <algorithm>

#include "car_link/car_link_texts.h"
#include "serial/chip_families.h"

namespace {

// An echo slower than this is the adaptor's or its USB path's holding, not the line's.
constexpr std::int32_t kHeldEchoMs = 30;

const std::string kIdGuide =
    "F4 for most US ECMs and PCMs and Holden V8s, F5 or F7 for Holden V6s, E4 for some Pontiacs, "
    "F0 for some trucks, 80 for the oldest 8192-baud ECMs";

std::string Asked(const CarLinkRecord& record) {
  if (record.chosenId) return "ID " + HexByte(*record.chosenId);
  return "any of the IDs " + IdList(std::vector<std::uint8_t>(std::begin(kCommonEcuIds), std::end(kCommonEcuIds)));
}

std::string QuietBusWay(Reader reader) {
  return reader == Reader::Window ? "Setup > Car Link > Quiet Bus (Mode 8)" : "the option --quiet-bus";
}

std::string Heard(const CarLinkRecord& record) {
  const std::vector<std::uint8_t> ids = ChatteringIds(record);
  if (ids.empty()) return "";
  return " Modules heard talking on the line: " + IdList(ids) + ".";
}

std::string LatencyFix(const PortIdentity& identity) {
  const ChipFamily* family = ChipFamilyOf(identity);
  if (family && family->driver == "ftdi_sio") {
    const std::string name = identity.name.empty() ? "ttyUSB0" : identity.name;
    return "Set the adaptor's latency timer to 1 ms (loggers are told 1 to 8): on Linux, as root, echo 1 > "
           "/sys/bus/usb-serial/devices/" + name + "/latency_timer; on Windows, Device Manager > Ports > the "
           "port > Port Settings > Advanced > Latency Timer.";
  }
  return "Use an adaptor whose driver passes bytes on at once, such as one with an FTDI chip with its latency "
         "timer set to 1 ms, or give the logger a longer time limit.";
}

std::string ChipRate(const PortIdentity& identity) {
  const ChipFamily* family = ChipFamilyOf(identity);
  if (!family || family->runs8192) return "";
  return " This adaptor has a " + std::string(family->name) + " chip; " + std::string(family->at8192) +
         ": an ECU does not hear a request at another rate, so run the fast test with the cable looped back.";
}

Diagnosis OnlyEcho(const CarLinkRecord& record, const PortIdentity& identity) {
  return {"Only the tester's own request came back: no computer answered " + Asked(record) +
              " at 8192 baud. The cable carries the request, so it is powered and on a line." + Heard(record) +
              ChipRate(identity),
          "Turn the ignition on (the engine need not run) and run the test again. If no answer comes, " +
              std::string(record.chosenId ? "check the ECU's ID (" + kIdGuide + ") or let the tester try them; "
                                          : "") +
              "check that the cable is on the ALDL connector's data pin (M), not another; a computer from "
              "before about 1987 talks at 160 baud, which no serial port reads, and some want 10 kOhm between "
              "pins A and B before they talk at 8192."};
}

Diagnosis NoEcho() {
  return {"Nothing came back, not even the tester's own request: the cable is not on the car's data line, "
          "the line is held low, or the adaptor has no power.",
          "Check that the cable is on the ALDL connector's data pin (M) and ground (A) and that the ignition "
          "is on: the ECU holds the line up. Run the fast test with the cable looped back to check that the "
          "adaptor itself works."};
}

Diagnosis EchoAltered(const CarLinkRecord& record, Reader reader) {
  const CarAttempt* attempt = DecisiveAttempt(record);
  const bool chatter = !ChatteringIds(record).empty();
  return {"The request came back changed (sent " + Hex(attempt->request) + ", came back " + Hex(attempt->echo) +
              "): " +
              (chatter ? "it met another module's traffic." + Heard(record)
                       : "noise changes bits on the line, or a module talked at the same time."),
          std::string(chatter ? "Ask the other modules to keep quiet with " + QuietBusWay(reader) + ". " : "") +
              "Check the cable's ground (pin A) and its joints, and keep it away from ignition leads."};
}

Diagnosis ReplyBroken(const CarLinkRecord& record, const PortIdentity& identity, Reader reader) {
  const auto broken = std::ranges::find_if(record.attempts, [](const CarAttempt& a) {
    return a.outcome == CarAttempt::Outcome::ReplyNotWhole || a.outcome == CarAttempt::Outcome::ReplyBadSum;
  });
  const bool cut = broken->outcome == CarAttempt::Outcome::ReplyNotWhole;
  const auto whole = broken->reply.size() > 1 ? FrameLengthOf(broken->reply[1]) : std::nullopt;
  const std::string what =
      cut ? "was cut short: " + std::to_string(broken->reply.size()) + (whole ? " of " + std::to_string(*whole) : "") +
                " bytes came"
          : "does not add up: its " + std::to_string(broken->reply.size()) + " bytes fail their checksum";
  const bool chatter = !ChatteringIds(record).empty();
  return {"ECU " + HexByte(broken->id) + " answered, but its reply " + what +
              ": noise, a collision with another module, or the adaptor losing bytes." + Heard(record),
          "Check the cable's ground (pin A) and its joints" +
              (chatter ? ", and ask the other modules to keep quiet with " + QuietBusWay(reader) : std::string()) +
              ". " + (record.burstSpacingMs ? LatencyFix(identity) : "")};
}

Diagnosis ReplyLate(const CarLinkRecord& record, const PortIdentity& identity) {
  const auto late = std::ranges::find_if(
      record.attempts, [](const CarAttempt& a) { return a.outcome == CarAttempt::Outcome::ReplyLate; });
  const std::int32_t replyMs = late->replyMs.value_or(0);
  const std::int32_t echoMs = late->echoMs.value_or(0);
  const bool held = echoMs >= kHeldEchoMs;
  return {"ECU " + HexByte(late->id) + " answered, but " + std::to_string(replyMs) +
              " ms after the request: later than the 150 ms the tester waits, and than most loggers wait "
              "(100 to 250 ms). " +
              (held ? "Its own request's echo took " + std::to_string(echoMs) +
                          " ms: the adaptor or its USB path holds received bytes that long."
                    : "Its echo came back in " + std::to_string(echoMs) + " ms, so the ECU itself took about " +
                          std::to_string(replyMs - echoMs) + " ms to answer."),
          held ? LatencyFix(identity)
               : "Give the logger a longer time limit for the reply, 300 ms or more; an ECU this slow may be busy "
                 "or failing."};
}

Diagnosis NoValidFrame(const CarLinkRecord& record) {
  return {"The line carries traffic (" + std::to_string(record.listen.unframed.size()) +
              " bytes in 2 seconds) but nothing in it is an 8192-baud frame: this is not an 8192-baud link. A "
              "computer from before about 1987 sends 160-baud pulses, which a serial port reads as bursts of "
              "garbage; one that wants 10 kOhm between pins A and B sends those until it gets them.",
          "Check which computer the car has: a 160-baud ECM needs a 160-baud interface and software, which no "
          "serial adaptor gives. For one that wants 10 kOhm between A and B, fit the resistor and run the test "
          "again."};
}

Diagnosis LineHeldLow() {
  return {"The data line is held low: the tester heard nothing but zero bytes, as a break reads, and its "
          "request did not come back. The data wire is shorted to ground, a module pulls it down, or the "
          "cable's line driver is stuck on.",
          "Unplug the cable and measure the ALDL data pin (M) against ground (A) with the ignition on: it should "
          "idle near 5 V. If it does, the cable is at fault; if not, look for the short or the module that holds "
          "the line."};
}

}  // namespace

std::vector<Diagnosis> DiagnoseCarLink(const CarLinkRecord& record, const PortIdentity& identity, Reader reader) {
  switch (record.verdict) {
    case CarVerdict::OnlyEcho: return {OnlyEcho(record, identity)};
    case CarVerdict::NoEcho: return {NoEcho()};
    case CarVerdict::EchoAltered: return {EchoAltered(record, reader)};
    case CarVerdict::ReplyBroken: return {ReplyBroken(record, identity, reader)};
    case CarVerdict::ReplyLate: return {ReplyLate(record, identity)};
    case CarVerdict::NoValidFrame: return {NoValidFrame(record)};
    case CarVerdict::LineHeldLow: return {LineHeldLow()};
    case CarVerdict::Answered:
    case CarVerdict::PortLost:
    case CarVerdict::RateRefused:
    case CarVerdict::Halted: break;
  }
  return {};
}
