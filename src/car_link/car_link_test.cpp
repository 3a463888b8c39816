#include "car_link/car_link_test.h"

#include <algorithm>
#include <cmath>

#include "car_link/car_link_texts.h"
#include "car_link/car_link_verdict.h"
#include "car_link/timed_receiver.h"
#include "common/report_texts.h"
#include "common/test_panel.h"
#include "link/clock.h"
#include "link/link_exchange.h"
#include "serial/comm_error.h"
#include "serial/port_context.h"

namespace {

// Two seconds hold a body computer's heartbeat (every 315 ms) six times over.
constexpr std::int32_t kListenMs = 2000;
// Before a request: this much silence, or the end of a frame just heard. Modules leave about
// 15 ms between their frames; a latency timer (16 ms on FTDI chips) makes gaps up to that long
// inside a stream.
constexpr std::int32_t kQuietGapMs = 20;
// A line that never falls quiet is sent to anyway, after this long.
constexpr std::int32_t kFreeLineLimitMs = 1000;
// The echo: 6 ms of line time, a 16 ms latency timer, and a loaded PC that stalls the tester for
// tens of milliseconds, many times over. Only the request's own bytes count as its echo.
constexpr std::int32_t kEchoLimitMs = 500;
// The reply's first byte, from the request's last byte on the line: ECUs begin within 15 ms, a
// latency timer adds up to 16 ms, a loaded PC's stall up to about 100 ms. Loggers give up after
// 100 to 250 ms. A frame is taken for the reply only when it comes from the ID asked, with mode
// 1, so no other module's frame is ever taken for it; and the limit stays below the 315 ms
// between a body computer's heartbeats.
constexpr std::int32_t kReplyStartLimitMs = 150;
// A reply that has begun must be whole within its own line time and this: a latency timer and a
// stall.
constexpr std::int32_t kWholeReplySlackMs = 60;
// The first request to each ID waits this long for a late reply, so that a late reply is named
// late, and is not taken for the reply to the next request.
constexpr std::int32_t kLateReplyLimitMs = 600;
constexpr int kTries = 3;
// The longest frame a length byte can name.
constexpr std::size_t kLongestFrame = 0xFF - kLengthByteOffset;

constexpr std::int32_t LineTimeMs(std::size_t characters) {
  return static_cast<std::int32_t>((characters * 10 * 1000 + kVehicleBaud - 1) / kVehicleBaud);
}

std::span<const TimedByte> From(const TimedReceiver& line, std::size_t from) {
  return std::span(line.Bytes()).subspan(std::min(from, line.Bytes().size()));
}

// The frames and stray bytes among timed bytes.
Hearing Hear(std::span<const TimedByte> timed, const std::set<std::uint8_t>& expectedIds) {
  const std::vector<std::uint8_t> bytes = BytesOf(timed);
  const FoundFrames found = FindFrames(bytes, expectedIds, true);
  Hearing hearing;
  for (const FoundFrame& frame : found.frames) {
    hearing.frames.push_back({timed[frame.start].atMs,
                              FrameBytes(bytes.begin() + static_cast<std::ptrdiff_t>(frame.start),
                                         bytes.begin() + static_cast<std::ptrdiff_t>(frame.start + frame.length)),
                              frame.checksumGood});
  }
  for (const std::size_t at : found.unframed) hearing.unframed.push_back(timed[at]);
  return hearing;
}

// Whether the bytes since the line was last quiet end with a whole frame: the line is free
// between two frames.
bool EndsOnFrame(std::span<const TimedByte> timed) {
  std::size_t start = timed.size();
  while (start > 0 && (start == timed.size() || timed[start].atMs - timed[start - 1].atMs < kQuietGapMs)) --start;
  const std::vector<std::uint8_t> bytes = BytesOf(timed.subspan(start));
  const FoundFrames found = FindFrames(bytes, {}, true);
  return !found.frames.empty() && found.frames.back().start + found.frames.back().length == bytes.size();
}

}  // namespace

CarLinkTest::CarLinkTest(PortContext& port, LinkExchange& link, Clock& clock, TestPanel& panel,
                         bool& continueTest)
    : port_(port), link_(link), clock_(clock), panel_(panel), continueTest_(continueTest) {}

CarLinkRecord CarLinkTest::Run(const CarLinkOptions& options) {
  continueTest_ = true;
  record_ = {};
  record_.chosenId = options.ecuId;
  record_.quietBus = options.quietBus;
  panel_.ReportStatus("", "", true);
  panel_.SetStatusColour(kWhite);
  if (!SetUpLine()) return Finish(record_.verdict);
  try {
    TimedReceiver line(port_.MSComm1, link_, clock_);
    Listen(line);
    if (!Halted()) {
      if (options.quietBus) QuietTheBus(line, options.ecuId.value_or(kCommonEcuIds[0]));
      AskEcus(line);
    }
    LetTheBusTalk(line);
  } catch (const CommError&) {
    // The port went away: the mode 9 still owed goes out when it is opened again.
    panel_.ReportStatus(kPortNotOpenText + CRLF + CRLF, kPortNotOpenStatus, false);
    return Finish(CarVerdict::PortLost);
  }
  if (Halted()) {
    panel_.ReportStatus("*User Halted Test*", "*User Halted Test*", false);
    return Finish(CarVerdict::Halted);
  }
  record_.burstSpacingMs = BurstSpacing(record_);
  panel_.ReportStatus(LatencyReport(record_), "", false);
  return Finish(VerdictOf(record_));
}

bool CarLinkTest::SetUpLine() {
  panel_.ReportStatus("Executing Car Link Test procedure" + CRLF + CRLF, "Setting BAUD", false);
  panel_.ReportStatus(" -->Enabling RTS + DTS power..." + CRLF, "", false);
  SetLinePower(port_, true, true);
  panel_.ReportStatus(" -->Setting BAUD rate to 8192" + CRLF, "", false);
  if (!port_.MSComm1.PortOpen() || !port_.ComSetup().SetBaud(kVehicleBaud)) {
    if (!port_.MSComm1.PortOpen()) {
      panel_.ReportStatus(kPortNotOpenText + CRLF + CRLF, kPortNotOpenStatus, false);
      record_.verdict = CarVerdict::PortLost;
      return false;
    }
    panel_.ReportStatus(" >>" + kRefusedRateText, "Unable to set BAUD", false);
    panel_.SetBaudCaption("Baud Error");
    panel_.Beep();
    DCB line{};
    if (GetCommState(port_.MSComm1.CommID(), line) != 0) record_.refusedReadBack = line.BaudRate;
    record_.verdict = CarVerdict::RateRefused;
    return false;
  }
  panel_.ReportStatus(" >>Baud set to 8192" + CRLF + CRLF, "", false);
  panel_.SetBaudCaption(" 8192 Baud");
  return true;
}

void CarLinkTest::Listen(TimedReceiver& line) {
  panel_.ReportStatus("Listening to the car's data line for 2 seconds:" + CRLF, "Listening", false);
  const std::int32_t end = line.Now() + kListenMs;
  // Stop Test is heard while it listens.
  while (line.Now() < end && continueTest_) line.WaitUpTo(end - line.Now());
  record_.listen = Hear(line.Bytes(), {});
  panel_.ReportStatus(ListenReport(record_.listen), "", false);
}

void CarLinkTest::QuietTheBus(TimedReceiver& line, std::uint8_t id) {
  panel_.ReportStatus("Asking the other modules to keep quiet (mode 8 to " + HexByte(id) + "):" + CRLF,
                      "Quieting the bus", false);
  // From here on every ending lets them talk again, a signal's too.
  port_.MSComm1.SetFarewell(MakeFrame(id, kModeResumeBus), kVehicleBaud);
  record_.quietBusSent = true;
  SendBusOrder(line, MakeFrame(id, kModeQuietBus));
  panel_.ReportStatus(CRLF, "", false);
}

void CarLinkTest::LetTheBusTalk(TimedReceiver& line) {
  if (!record_.quietBusSent) return;
  panel_.ReportStatus("Letting the other modules talk again (mode 9):" + CRLF, "", false);
  if (SendBusOrder(line, MakeFrame(record_.chosenId.value_or(kCommonEcuIds[0]), kModeResumeBus))) {
    port_.MSComm1.SetFarewell({}, kVehicleBaud);
  } else {
    // Closing the port sends it once more.
    panel_.ReportStatus(" >>It did not come back whole: the other modules may keep quiet until the ignition is "
                        "turned off" + CRLF,
                        "", false);
  }
  panel_.ReportStatus(CRLF, "", false);
}

bool CarLinkTest::SendBusOrder(TimedReceiver& line, const FrameBytes& frame) {
  for (int attempt = 1; attempt <= kTries; ++attempt) {
    panel_.ReportStatus(" -->Sending " + Hex(frame) + CRLF, "", false);
    CarAttempt order;
    order.id = frame[0];
    order.request = frame;
    const Sent sent = Send(line, frame);
    order.sentAtMs = sent.endMs - LineTimeMs(frame.size());
    const bool through = ReadEcho(line, sent.from, order).has_value();
    // The ECU answers with the same frame.
    line.WaitUntil(sent.endMs + kReplyStartLimitMs);
    panel_.ReportStatus(" >>Heard " + Hex(BytesOf(From(line, sent.from))) + CRLF, "", false);
    if (through) return true;
  }
  return false;
}

void CarLinkTest::AskEcus(TimedReceiver& line) {
  std::vector<std::uint8_t> ids(std::begin(kCommonEcuIds), std::end(kCommonEcuIds));
  if (record_.chosenId) ids = {*record_.chosenId};
  for (const std::uint8_t id : ids) {
    bool cleanEcho = false;
    bool heardFromId = false;
    bool lateSeen = false;
    for (int attempt = 1; attempt <= kTries; ++attempt) {
      if (Halted()) return;
      panel_.ReportStatus("Asking ECU " + HexByte(id) + " for its data (mode 1, message 0)" +
                              (attempt > 1 ? ", try " + std::to_string(attempt) : "") + ":" + CRLF,
                          "Asking ECU " + HexByte(id), false);
      // Once the ID has answered late, every request waits as long, so that a late reply is never
      // taken for the next request's.
      record_.attempts.push_back(Ask(line, id, attempt == 1 || lateSeen));
      const CarAttempt& asked = record_.attempts.back();
      panel_.ReportStatus(AttemptReport(asked), "", false);
      if (asked.outcome == CarAttempt::Outcome::Answered) {
        record_.answeredId = id;
        return;
      }
      cleanEcho = cleanEcho || (asked.outcome != CarAttempt::Outcome::NoEcho &&
                                asked.outcome != CarAttempt::Outcome::EchoAltered);
      heardFromId = heardFromId || !asked.reply.empty();
      lateSeen = lateSeen || asked.outcome == CarAttempt::Outcome::ReplyLate;
    }
    // The next ID is worth asking only when the requests went out clean and this one was silent.
    if (!cleanEcho || heardFromId) return;
  }
}

CarAttempt CarLinkTest::Ask(TimedReceiver& line, std::uint8_t id, bool waitForLateReply) {
  CarAttempt attempt;
  attempt.id = id;
  attempt.request = DataRequest(id);
  const Sent sent = Send(line, attempt.request);
  attempt.sentAtMs = sent.endMs - LineTimeMs(attempt.request.size());
  if (const auto afterEcho = ReadEcho(line, sent.from, attempt)) {
    ReadReply(line, *afterEcho, sent.endMs, waitForLateReply, attempt);
  }
  attempt.heard = Hear(From(line, sent.from), {id});
  return attempt;
}

CarLinkTest::Sent CarLinkTest::Send(TimedReceiver& line, const FrameBytes& frame) {
  WaitForFreeLine(line);
  const std::size_t from = line.Bytes().size();
  port_.MSComm1.SetOutput(frame);
  return {from, line.Now() + LineTimeMs(frame.size())};
}

void CarLinkTest::WaitForFreeLine(TimedReceiver& line) {
  const std::int32_t limit = line.Now() + kFreeLineLimitMs;
  for (line.Poll();; line.Poll()) {
    const std::int32_t now = line.Now();
    const std::int32_t quietFor = now - line.LastByteAt();
    if (quietFor >= kQuietGapMs || EndsOnFrame(line.Bytes()) || now >= limit) return;
    line.WaitUpTo(std::min(kQuietGapMs - quietFor, limit - now));
  }
}

std::optional<std::size_t> CarLinkTest::ReadEcho(TimedReceiver& line, std::size_t from, CarAttempt& attempt) {
  const std::size_t length = attempt.request.size();
  const std::int32_t deadline = attempt.sentAtMs + kEchoLimitMs;
  for (;;) {
    const std::span<const TimedByte> after = From(line, from);
    const std::vector<std::uint8_t> bytes = BytesOf(after);
    const auto echo = std::ranges::search(bytes, attempt.request);
    if (!echo.empty()) {
      attempt.echo = attempt.request;
      const std::int32_t requestEnd = attempt.sentAtMs + LineTimeMs(length);
      attempt.echoMs = after[static_cast<std::size_t>(echo.end() - bytes.begin()) - 1].atMs - requestEnd;
      attempt.outcome = CarAttempt::Outcome::NoReply;
      return from + static_cast<std::size_t>(echo.end() - bytes.begin());
    }
    const std::int32_t now = line.Now();
    // Enough has come that is not the echo, and the line has fallen quiet: the echo was altered.
    const bool settled = bytes.size() >= length && now - line.LastByteAt() >= kQuietGapMs;
    if (now >= deadline || settled) {
      attempt.echo.assign(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(length, bytes.size())));
      attempt.outcome = bytes.empty() ? CarAttempt::Outcome::NoEcho : CarAttempt::Outcome::EchoAltered;
      return std::nullopt;
    }
    line.WaitUpTo(std::min(deadline - now, kQuietGapMs));
  }
}

void CarLinkTest::ReadReply(TimedReceiver& line, std::size_t from, std::int32_t requestEndMs,
                            bool waitForLateReply, CarAttempt& attempt) {
  std::int32_t deadline = requestEndMs + (waitForLateReply ? kLateReplyLimitMs : kReplyStartLimitMs);
  for (;;) {
    const std::span<const TimedByte> after = From(line, from);
    const std::vector<std::uint8_t> bytes = BytesOf(after);
    const FoundFrames found = FindFrames(bytes, {attempt.id}, false);
    const auto take = [&](std::size_t start, std::size_t length) {
      attempt.reply.assign(bytes.begin() + static_cast<std::ptrdiff_t>(start),
                           bytes.begin() + static_cast<std::ptrdiff_t>(start + length));
      attempt.replyArrivals.clear();
      for (std::size_t i = start; i < start + length; ++i) attempt.replyArrivals.push_back(after[i].atMs);
      attempt.replyMs = attempt.replyArrivals.front() - requestEndMs;
      attempt.replyEndMs = attempt.replyArrivals.back() - requestEndMs;
    };
    for (const FoundFrame& frame : found.frames) {
      const auto frameBytes = std::span(bytes).subspan(frame.start, frame.length);
      if (frameBytes[0] != attempt.id) continue;
      // The ECU's own traffic in another mode is not the reply.
      if (frame.checksumGood && ModeOf(frameBytes) != kModeSendData) continue;
      take(frame.start, frame.length);
      attempt.outcome = !frame.checksumGood                ? CarAttempt::Outcome::ReplyBadSum
                        : *attempt.replyMs > kReplyStartLimitMs ? CarAttempt::Outcome::ReplyLate
                                                                : CarAttempt::Outcome::Answered;
      return;
    }
    const std::int32_t now = line.Now();
    if (found.partialFrom && bytes[*found.partialFrom] == attempt.id) {
      // A reply under way must be whole within its length's time.
      const std::size_t start = *found.partialFrom;
      const auto length = start + 1 < bytes.size() ? FrameLengthOf(bytes[start + 1]) : std::nullopt;
      const std::int32_t wholeBy =
          after[start].atMs + LineTimeMs(length.value_or(kLongestFrame)) + kWholeReplySlackMs;
      if (now >= wholeBy) {
        take(start, bytes.size() - start);
        attempt.outcome = CarAttempt::Outcome::ReplyNotWhole;
        return;
      }
      deadline = std::max(deadline, wholeBy);
    }
    if (now >= deadline) return;
    line.WaitUpTo(deadline - now);
  }
}

bool CarLinkTest::Halted() { return !continueTest_; }

CarLinkRecord CarLinkTest::Finish(CarVerdict verdict) {
  record_.verdict = verdict;
  if (verdict == CarVerdict::Answered) {
    panel_.ReportStatus("Car Link Test complete, ECU " + HexByte(*record_.answeredId) + " answered",
                        "Car Link Test Passed!", false);
    panel_.SetStatusColour(kGreen);
  } else if (verdict != CarVerdict::Halted && verdict != CarVerdict::RateRefused) {
    panel_.ReportStatus(verdict == CarVerdict::PortLost ? "Car Link Test complete, errors occurred"
                                                        : "Car Link Test complete, no ECU answered",
                        "Car Link Test Failed!", false);
    panel_.SetStatusColour(kRed);
  }
  return std::move(record_);
}
