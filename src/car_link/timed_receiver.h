#pragma once

#include <cstdint>
#include <vector>

#include "car_link/frame_finder.h"

class Clock;
class LinkExchange;
class MSComm;

// Everything the port receives from the start of a test on, each byte with the time it was
// read, counted in milliseconds from that start. The waits let the user interface handle its
// events, so that Stop Test reaches the test while it listens.
class TimedReceiver {
 public:
  TimedReceiver(MSComm& comm, LinkExchange& link, Clock& clock);

  std::int32_t Now();
  // Reads what has come; raises CommError when the port fails.
  void Poll();
  // Waits up to ms for more to come (sooner once some does), then reads it.
  void WaitUpTo(std::int32_t ms);
  // Waits until the test's clock reads atMs, reading as bytes come.
  void WaitUntil(std::int32_t atMs);

  const std::vector<TimedByte>& Bytes() const { return bytes_; }
  // When the last byte came, or a time before the start when none has.
  std::int32_t LastByteAt() const { return bytes_.empty() ? -1'000'000 : bytes_.back().atMs; }

 private:
  MSComm& comm_;
  LinkExchange& link_;
  Clock& clock_;
  std::int32_t start_;
  std::vector<TimedByte> bytes_;
};
