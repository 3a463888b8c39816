#include "link/link_exchange.h"

#include <algorithm>

#include "link/clock.h"
#include "serial/MSComm.h"
#include "serial/comm_error.h"

LinkExchange::LinkExchange(MSComm& comm, Clock& clock, DoEvents doEvents)
    : comm_(comm), clock_(clock), doEvents_(std::move(doEvents)) {}

bool LinkExchange::ALDL_XMIT(const ByteBuffer& bytes, std::int32_t limitMs) {
  try {
    comm_.SetOutput(bytes);
    const Deadline deadline(clock_.timeGetTime(), limitMs);
    // The clock is read before the count, so a queue that empties as the deadline passes
    // counts as a time-out.
    while (!deadline.PassedAt(clock_.timeGetTime())) {
      if (comm_.OutBufferCount() == 0) return true;
    }
    return false;
  } catch (const CommError&) {
    return false;
  }
}

bool LinkExchange::ReceiveEcuData(ByteBuffer& buffer, std::int32_t expected, std::int32_t limitMs) {
  std::fill(buffer.begin(), buffer.end(), 0);
  try {
    bool arrived = false;
    const Deadline deadline(clock_.timeGetTime(), limitMs);
    while (!deadline.PassedAt(clock_.timeGetTime())) {
      if (comm_.InBufferCount() >= expected) {
        arrived = true;
        break;
      }
    }
    const std::int32_t received = comm_.InBufferCount();
    if (received > 0) {
      const ByteBuffer input = comm_.Input();
      const std::size_t kept = std::min({input.size(), buffer.size(), static_cast<std::size_t>(received)});
      std::copy_n(input.begin(), kept, buffer.begin());
    }
    return arrived && received == expected;
  } catch (const CommError&) {
    return false;
  }
}

void LinkExchange::DelayMs(std::int32_t ms) {
  timeBeginPeriod(1);
  const Deadline deadline(clock_.timeGetTime(), ms);
  while (!deadline.PassedAt(clock_.timeGetTime())) doEvents_();
  timeEndPeriod(1);
}
