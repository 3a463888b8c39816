#pragma once

#include <cstdint>
#include <optional>

#include "link/clock.h"
#include "link/event_hook.h"
#include "serial/serial_device.h"

class MSComm;

// Sends a block and receives an expected number of bytes within time limits, and waits while
// the user interface goes on processing its events. Every wait sleeps until something can have
// changed rather than polling without pause, and still reads the clock to the millisecond.
class LinkExchange {
 public:
  LinkExchange(MSComm& comm, Clock& clock, EventHooks events);

  // Writes the whole block, then waits for the transmit queue to empty. False on time-out, and
  // when the port fails during the call.
  bool ALDL_XMIT(const ByteBuffer& bytes, std::int32_t limitMs);
  // Waits for expected bytes, then fetches what arrived into the front of buffer (the rest
  // zero). True only when exactly the expected number was waiting in time.
  bool ReceiveEcuData(ByteBuffer& buffer, std::int32_t expected, std::int32_t limitMs);
  // The bytes the last ReceiveEcuData found waiting as it ended; 0 when the port failed
  // before they were counted.
  std::int32_t LastReceivedCount() const { return lastReceivedCount_; }
  // Waits that long while the user interface handles its events; where Stop Test reaches a
  // running test.
  void DelayMs(std::int32_t ms);

  // When input came in during the exchange's own waits since WatchInput: the clock readings at
  // which the count first rose from nothing and last rose. Read, not fetched: the waits look.
  struct InputArrivals {
    std::optional<std::int32_t> first;
    std::optional<std::int32_t> last;
  };
  void WatchInput();
  const InputArrivals& Arrivals() const { return arrivals_; }
  // Notes the input count at a clock reading; raises CommError when the port fails.
  void NoteInput(std::int32_t reading);

  // Waits until nothing more has come for quietMs, for at most limitMs, reading nothing: how
  // many bytes wait then, and the clock reading at which the last came. Raises CommError when
  // the port fails.
  struct Settled {
    std::int32_t count = 0;
    std::optional<std::int32_t> lastAt;
  };
  Settled WaitUntilQuiet(std::int32_t quietMs, std::int32_t limitMs);

  // Discards what comes in until nothing has come for quietMs, for at most limitMs: late bytes
  // of an earlier exchange are never counted in the next. False when the line never went quiet.
  // Raises CommError when the port fails.
  bool DiscardUntilQuiet(std::int32_t quietMs, std::int32_t limitMs);

  // A pause of a wait that lets the user's clicks in, Stop Test among them: handles the pending
  // events, then sleeps until more input may have come, for at most ms. Raises CommError when
  // the port fails.
  void AwaitInput(std::int32_t ms);

  // One pause of a wait that lets no user input in: repaints the window, then sleeps until the
  // receive count may have reached count, for at most ms. Raises CommError when the port fails.
  void PauseForInput(std::int32_t count, std::int32_t ms);

 private:
  void Pause(std::int32_t ms, const BlockingWait& wait);

  MSComm& comm_;
  Clock& clock_;
  EventHooks events_;
  std::int32_t lastReceivedCount_ = 0;
  InputArrivals arrivals_;
  std::int32_t watchedCount_ = 0;
};
