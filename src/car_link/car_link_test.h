#pragma once

#include <cstdint>
#include <optional>

#include "car_link/car_link_record.h"

class Clock;
class LinkExchange;
class PortContext;
class TestPanel;
class TimedReceiver;

struct CarLinkOptions {
  std::optional<std::uint8_t> ecuId;  // nothing: the common IDs in turn
  bool quietBus = false;              // mode 8 first, mode 9 after
};

// Whether the cable talks to the car: on the line the adaptor powers from DTR and RTS at 8192
// baud, it listens, then asks the ECU for its data and checks the echo of the request and the
// reply. It sends nothing but mode 1 requests, and mode 8 and 9 when the user asks for a quiet
// bus; after mode 8, every ending sends mode 9.
class CarLinkTest {
 public:
  CarLinkTest(PortContext& port, LinkExchange& link, Clock& clock, TestPanel& panel, bool& continueTest);

  CarLinkRecord Run(const CarLinkOptions& options);

 private:
  bool SetUpLine();
  void Listen(TimedReceiver& line);
  void QuietTheBus(TimedReceiver& line, std::uint8_t id);
  void LetTheBusTalk(TimedReceiver& line);
  // Sends mode 8 or 9 until its echo comes back whole, a few times at most; false when it never
  // did.
  bool SendBusOrder(TimedReceiver& line, const FrameBytes& frame);
  // Asks each ID in turn until one answers or the echo shows the fault is not the ID.
  void AskEcus(TimedReceiver& line);
  CarAttempt Ask(TimedReceiver& line, std::uint8_t id, bool waitForLateReply);
  // Sends a frame once the line is free: where its echo begins among the bytes received, and the
  // time its last byte is on the line.
  struct Sent {
    std::size_t from;
    std::int32_t endMs;
  };
  Sent Send(TimedReceiver& line, const FrameBytes& frame);
  void WaitForFreeLine(TimedReceiver& line);
  // Where the bytes after the echo begin; nothing when it did not come back whole.
  std::optional<std::size_t> ReadEcho(TimedReceiver& line, std::size_t from, CarAttempt& attempt);
  void ReadReply(TimedReceiver& line, std::size_t from, std::int32_t requestEndMs, bool waitForLateReply,
                 CarAttempt& attempt);
  bool Halted();
  CarLinkRecord Finish(CarVerdict verdict);

  PortContext& port_;
  LinkExchange& link_;
  Clock& clock_;
  TestPanel& panel_;
  bool& continueTest_;
  CarLinkRecord record_;
};
