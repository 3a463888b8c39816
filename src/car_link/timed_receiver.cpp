#include "car_link/timed_receiver.h"

#include "link/clock.h"
#include "link/link_exchange.h"
#include "serial/MSComm.h"

TimedReceiver::TimedReceiver(MSComm& comm, LinkExchange& link, Clock& clock)
    : comm_(comm), link_(link), clock_(clock), start_(clock.timeGetTime()) {}

std::int32_t TimedReceiver::Now() {
  return static_cast<std::int32_t>(Deadline::Since(start_, clock_.timeGetTime()));
}

void TimedReceiver::Poll() {
  if (comm_.InBufferCount() == 0) return;
  const ByteBuffer arrived = comm_.Input();
  const std::int32_t at = Now();
  for (const std::uint8_t byte : arrived) bytes_.push_back({byte, at});
}

void TimedReceiver::WaitUpTo(std::int32_t ms) {
  Poll();
  if (ms > 0) link_.AwaitInput(ms);
  Poll();
}

void TimedReceiver::WaitUntil(std::int32_t atMs) {
  for (std::int32_t now = Now(); now < atMs; now = Now()) WaitUpTo(atMs - now);
  Poll();
}
