#include "link/link_exchange.h"

#include <algorithm>

#include "link/clock.h"
#include "serial/MSComm.h"
#include "serial/comm_error.h"

namespace {

// The longest a wait sleeps between two repaints of the window.
constexpr std::int32_t kRepaintIntervalMs = 20;

}  // namespace

LinkExchange::LinkExchange(MSComm& comm, Clock& clock, EventHooks events)
    : comm_(comm), clock_(clock), events_(std::move(events)) {}

bool LinkExchange::ALDL_XMIT(const ByteBuffer& bytes, std::int32_t limitMs) {
  try {
    comm_.SetOutput(bytes);
    const Deadline deadline(clock_.timeGetTime(), limitMs);
    // The clock is read before the count, so a queue that empties as the deadline passes
    // counts as a time-out.
    for (std::int32_t reading; !deadline.PassedAt(reading = clock_.timeGetTime());) {
      NoteInput(reading);
      if (comm_.OutBufferCount() == 0) return true;
      Pause(deadline.LeftAt(reading), [this](std::int32_t ms) { return comm_.WaitOutBufferEmpty(ms); });
    }
    return false;
  } catch (const CommError&) {
    return false;
  }
}

bool LinkExchange::ReceiveEcuData(ByteBuffer& buffer, std::int32_t expected, std::int32_t limitMs) {
  std::fill(buffer.begin(), buffer.end(), 0);
  lastReceivedCount_ = 0;
  try {
    bool arrived = false;
    const Deadline deadline(clock_.timeGetTime(), limitMs);
    for (std::int32_t reading; !deadline.PassedAt(reading = clock_.timeGetTime());) {
      NoteInput(reading);
      if (comm_.InBufferCount() >= expected) {
        arrived = true;
        break;
      }
      PauseForInput(expected, deadline.LeftAt(reading));
    }
    NoteInput(clock_.timeGetTime());
    const std::int32_t received = comm_.InBufferCount();
    lastReceivedCount_ = received;
    if (received > 0) {
      const ByteBuffer input = comm_.Input();
      const std::size_t kept = std::min({input.size(), buffer.size(), static_cast<std::size_t>(received)});
      std::copy_n(input.begin(), kept, buffer.begin());
      watchedCount_ = 0;
    }
    return arrived && received == expected;
  } catch (const CommError&) {
    return false;
  }
}

void LinkExchange::DelayMs(std::int32_t ms) {
  timeBeginPeriod(1);
  const Deadline deadline(clock_.timeGetTime(), ms);
  for (std::int32_t reading; !deadline.PassedAt(reading = clock_.timeGetTime());) {
    clock_.WaitUpTo(deadline.LeftAt(reading), [this](std::int32_t left) {
      events_.DoEvents(left);
      return false;
    });
  }
  timeEndPeriod(1);
}

bool LinkExchange::DiscardUntilQuiet(std::int32_t quietMs, std::int32_t limitMs) {
  const Deadline limit(clock_.timeGetTime(), limitMs);
  while (true) {
    comm_.SetInBufferCount(0);
    const std::int32_t start = clock_.timeGetTime();
    const Deadline quiet(start, quietMs);
    for (std::int32_t reading; !quiet.PassedAt(reading = clock_.timeGetTime());) {
      if (comm_.InBufferCount() > 0) break;
      PauseForInput(1, quiet.LeftAt(reading));
    }
    if (comm_.InBufferCount() == 0) return true;
    if (limit.PassedAt(clock_.timeGetTime())) return false;
  }
}

void LinkExchange::WatchInput() {
  arrivals_ = {};
  watchedCount_ = 0;
}

void LinkExchange::NoteInput(std::int32_t reading) {
  const std::int32_t count = comm_.InBufferCount();
  if (count > watchedCount_) {
    if (!arrivals_.first) arrivals_.first = reading;
    arrivals_.last = reading;
  }
  watchedCount_ = count;
}

LinkExchange::Settled LinkExchange::WaitUntilQuiet(std::int32_t quietMs, std::int32_t limitMs) {
  const Deadline limit(clock_.timeGetTime(), limitMs);
  Settled settled{comm_.InBufferCount(), std::nullopt};
  std::int32_t quietSince = clock_.timeGetTime();
  for (std::int32_t reading; !limit.PassedAt(reading = clock_.timeGetTime());) {
    const std::int32_t count = comm_.InBufferCount();
    if (count != settled.count) {
      settled = {count, reading};
      quietSince = reading;
    }
    const Deadline quiet(quietSince, quietMs);
    if (quiet.PassedAt(reading)) break;
    PauseForInput(count + 1, std::min(quiet.LeftAt(reading), limit.LeftAt(reading)));
  }
  return settled;
}

void LinkExchange::AwaitInput(std::int32_t ms) {
  events_.DoEvents(0);
  PauseForInput(comm_.InBufferCount() + 1, ms);
}

void LinkExchange::PauseForInput(std::int32_t count, std::int32_t ms) {
  Pause(ms, [this, count](std::int32_t left) { return comm_.WaitInBufferCount(count, left); });
}

void LinkExchange::Pause(std::int32_t ms, const BlockingWait& wait) {
  events_.Repaint();
  clock_.WaitUpTo(std::min(ms, kRepaintIntervalMs), wait);
}
