#include <algorithm>
#include <optional>

#include "adaptor_tests/adaptor_tests.h"
#include "common/number_text.h"
#include "common/report_texts.h"
#include "link/clock.h"
#include "link/link_exchange.h"
#include "serial/comm_error.h"
#include "serial/port_context.h"

namespace {

constexpr std::size_t kBlockSize = 256;

std::optional<ByteMismatch> Mismatch(const ByteBuffer& sent, const ByteBuffer& received) {
  const auto first = std::ranges::mismatch(sent, received);
  if (first.in1 == sent.end()) return std::nullopt;
  std::int32_t count = 0;
  for (std::size_t i = 0; i < sent.size(); ++i) count += sent[i] != received[i] ? 1 : 0;
  return ByteMismatch{count, static_cast<std::int32_t>(first.in1 - sent.begin()), *first.in1, *first.in2};
}

struct PowerPhase {
  bool dtr;
  bool rts;
  const char* powerText;
  std::uint8_t (*pattern)(std::size_t index);
};

const PowerPhase kPowerPhases[] = {
    {true, false, "-->Enabling DTR only power...",
     [](std::size_t i) { return static_cast<std::uint8_t>(i); }},
    {false, true, "-->Enabling RTS only power...",
     [](std::size_t i) { return static_cast<std::uint8_t>(2 * i); }},
    {true, true, "-->Enabling RTS + DTS power...",
     [](std::size_t i) { return static_cast<std::uint8_t>(i % 2 == 0 ? 0x55 : 0xAA); }},
};

}  // namespace

std::int32_t ExchangeTimeout(std::int32_t rate, std::int32_t floorMs) {
  const std::int64_t divisor = std::max<std::int64_t>(std::int64_t{rate} + 1, 1);
  const std::int64_t timeout = std::min<std::int64_t>(3840000 / divisor, 5000);
  return static_cast<std::int32_t>(std::max<std::int64_t>(timeout, floorMs));
}

AdaptorTests::PhaseResult AdaptorTests::RunLoopbackPhase(int phase, std::int32_t rate,
                                                         std::int32_t timeoutMs) {
  const PowerPhase& power = kPowerPhases[phase - 1];
  const std::string name = PhaseName(phase);
  std::vector<PhaseRecord>& phases = record_.rates.back().phases;
  PhaseRecord found{phase, PhaseOutcome::Passed};
  // A port that went away during the exchange is reported as gone, not as a time-out.
  const auto fail = [&](const std::string& text, PhaseOutcome outcome) {
    const bool gone = !port_.MSComm1.PortOpen();
    panel_.ReportStatus((gone ? PortNotOpenText(phase) : text) + CRLF + CRLF, name + " Failed",
                        false);
    ++failures_;
    record_.portLost = record_.portLost || gone;
    found.outcome = gone ? PhaseOutcome::PortNotOpen : outcome;
    phases.push_back(found);
    return PhaseResult::Failed;
  };

  panel_.ReportStatus("Beginning " + name + " COM test:" + CRLF, "", false);
  panel_.ReportStatus(std::string(power.powerText) + CRLF, "", false);
  SetLinePower(port_, power.dtr, power.rts);

  // Switching the power reopens the port at the rate in force; the phase exchanges at its own.
  if (!port_.MSComm1.PortOpen()) {
    return fail(PortNotOpenText(phase), PhaseOutcome::PortNotOpen);
  }
  if (!port_.ComSetup().SetBaud(rate)) {
    if (port_.MSComm1.PortOpen()) return PhaseResult::RateRefused;
    return fail(PortNotOpenText(phase), PhaseOutcome::PortNotOpen);
  }
  try {
    port_.MSComm1.SetInBufferCount(0);
    port_.MSComm1.SetOutBufferCount(0);
  } catch (const CommError&) {
    return fail(PortNotOpenText(phase), PhaseOutcome::PortNotOpen);
  }
  link_.DelayMs(500);
  // What came in during the pause is the late echo of the phase before, not of this block.
  try {
    port_.MSComm1.SetInBufferCount(0);
  } catch (const CommError&) {
    return fail(PortNotOpenText(phase), PhaseOutcome::PortNotOpen);
  }

  panel_.ReportStatus("-->Sending Test Data..." + CRLF, "", false);
  ByteBuffer sent(kBlockSize);
  for (std::size_t i = 0; i < kBlockSize; ++i) sent[i] = power.pattern(i);
  const std::int32_t start = clock_.timeGetTime();
  link_.WatchInput();
  if (!link_.ALDL_XMIT(sent, timeoutMs)) {
    SettleAfterBlock(start, true, found.timing);
    return fail(" >>Timeout error transmitting data. " + name + " failed", PhaseOutcome::TransmitTimeout);
  }

  ByteBuffer received(kBlockSize);
  const bool arrived = link_.ReceiveEcuData(received, kBlockSize, timeoutMs);
  found.bytesReceived = link_.LastReceivedCount();
  found.timing.firstByteMs = MsSince(start, link_.Arrivals().first);
  found.timing.lastByteMs = MsSince(start, link_.Arrivals().last);
  found.comparison =
      CompareBlocks(sent, std::span(received).first(std::min<std::size_t>(found.bytesReceived, kBlockSize)));
  if (arrived) found.mismatch = Mismatch(sent, received);
  // No byte of this block may count in the next phase's, however late it comes: the line must fall
  // quiet first, and what comes meanwhile is this block's evidence.
  if (!SettleAfterBlock(start, !arrived, found.timing)) {
    return fail(PortNotOpenText(phase), PhaseOutcome::PortNotOpen);
  }
  if (!arrived) {
    return fail(" >>Timeout error receiving data, " + name + " failed", PhaseOutcome::ReceiveTimeout);
  }
  // Bytes after the block are bytes the adaptor made up: the block did not come back as sent.
  if (found.mismatch || found.timing.bytesAfter > 0) {
    return fail(" >>Error Comparing data, " + name + " failed", PhaseOutcome::CompareError);
  }

  panel_.ReportStatus(" >>DTR Power " + name + " Test Passed" + CRLF + CRLF, name + " Passed", false);
  phases.push_back(found);
  return PhaseResult::Passed;
}

bool AdaptorTests::SettleAfterBlock(std::int32_t start, bool timedOut, BlockTiming& timing) {
  try {
    const LinkExchange::Settled settled = link_.WaitUntilQuiet(timedOut ? kLateEchoQuietMs : kQuietLineMs, kQuietLineLimitMs);
    timedOut_ = timedOut_ || timedOut;
    timing.bytesAfter = settled.count;
    timing.lastAfterMs = MsSince(start, settled.lastAt);
    return true;
  } catch (const CommError&) {
    return false;
  }
}
