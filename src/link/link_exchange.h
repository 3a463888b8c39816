#pragma once

#include <cstdint>

#include "link/event_hook.h"
#include "serial/serial_device.h"

class Clock;
class MSComm;

// Sends a block and receives an expected number of bytes within time limits, and waits while
// the user interface goes on processing its events.
class LinkExchange {
 public:
  LinkExchange(MSComm& comm, Clock& clock, DoEvents doEvents);

  // Writes the whole block, then waits for the transmit queue to empty. False on time-out, and
  // when the port fails during the call.
  bool ALDL_XMIT(const ByteBuffer& bytes, std::int32_t limitMs);
  // Waits for expected bytes, then fetches what arrived into the front of buffer (the rest
  // zero). True only when exactly the expected number was waiting in time.
  bool ReceiveEcuData(ByteBuffer& buffer, std::int32_t expected, std::int32_t limitMs);
  // Waits that long, processing events on every pass; where Stop Test reaches a running test.
  void DelayMs(std::int32_t ms);

 private:
  MSComm& comm_;
  Clock& clock_;
  DoEvents doEvents_;
};
