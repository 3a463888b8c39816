#pragma once

#include <cstdint>
#include <string>

#include "adaptor_tests/baud_list.h"
#include "adaptor_tests/run_record.h"
#include "common/test_panel.h"
#include "serial/serial_device.h"

class Clock;
class LinkExchange;
class PortContext;

// No byte of one exchange may count in the next: after a block the line must be quiet this long,
// longer than a USB adaptor holds received bytes (16 ms on FTDI chips), before the next; once an
// exchange has timed out, long enough for a late echo to begin (an adaptor that holds bytes for
// up to about a second); either within a limit, past which a line that keeps talking is taken as
// it is.
inline constexpr std::int32_t kQuietLineMs = 50;
inline constexpr std::int32_t kLateEchoQuietMs = 600;
inline constexpr std::int32_t kQuietLineLimitMs = 4000;

// The loopback tests of an adaptor whose data lines are looped back. Each run reports every
// step to the panel and ends in a green or red verdict, or without one when halted or when the
// port refuses a rate.
class AdaptorTests {
 public:
  AdaptorTests(PortContext& port, LinkExchange& link, Clock& clock, TestPanel& panel,
               const BaudListArray& baudList, std::string decimalSeparator);

  // Three power phases at every rate of the rate list.
  RunRecord ExtendedComTest();
  // Three power phases at the rate in force, then the 8192-baud transfer-speed check.
  RunRecord FastComTest();

  // True while a running test may go on; Stop Test clears it.
  bool ContinueTest = false;

 private:
  enum class PhaseResult { Passed, Failed, RateRefused };

  void BeginRun();
  // Announces and sets the rate a run exchanges at; false when the port refuses it.
  bool SetRateUnderTest(const std::string& announcement, std::int32_t rate);
  PhaseResult RunLoopbackPhase(int phase, std::int32_t rate, std::int32_t timeoutMs);
  // Waits for the line to fall quiet after a block, noting what comes meanwhile; false when the
  // port failed.
  bool SettleAfterBlock(std::int32_t start, bool timedOut, BlockTiming& timing);
  // False when the port refused 8192 baud: the run then ends without a verdict.
  bool RunTransferSpeedPhase();
  void ReportSpeedResult(std::uint32_t elapsedMs);
  // After the closing pause: the speed block as it came back against the one sent, and what came
  // after it.
  void CheckSpeedBlock();
  void FailSpeedPhaseForClosedPort();
  // Reports and records a rate the port would not take.
  void ReportRefusedRate(const std::string& prefix, std::int32_t rate);
  RunRecord Finish(Verdict verdict);
  void ReportVerdict(const std::string& passed, const std::string& passedStatus,
                     const std::string& failed, const std::string& failedStatus);

  PortContext& port_;
  LinkExchange& link_;
  Clock& clock_;
  TestPanel& panel_;
  const BaudListArray& baudList_;
  std::string decimalSeparator_;

  std::int32_t failures_ = 0;
  bool timedOut_ = false;  // an exchange of this run timed out: its echo may still come
  RunRecord record_;
  ByteBuffer speedBlock_;
};

// Time limit of each send and receive at a rate: one and a half times the line time of 256
// ten-bit characters, within floorMs and 5000 ms.
std::int32_t ExchangeTimeout(std::int32_t rate, std::int32_t floorMs);
