#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "car_link/frame_finder.h"

// The IDs most cars answer to, asked in this order when the user named none: most US ECMs and
// PCMs and Holden V8s, Holden V6s (two), some Pontiacs, some trucks, the oldest 8192 ECMs.
inline constexpr std::uint8_t kCommonEcuIds[] = {0xF4, 0xF5, 0xF7, 0xE4, 0xF0, 0x80};

// A frame heard on the car's data line, its time from the start of the test.
struct HeardFrame {
  std::int32_t atMs;
  FrameBytes bytes;
  bool checksumGood;
};

// What the line carried over a stretch of time: its frames and the bytes in no frame.
struct Hearing {
  std::vector<HeardFrame> frames;
  std::vector<TimedByte> unframed;  // times from the start of the test
};

// One request to an ECU and what came back.
struct CarAttempt {
  enum class Outcome {
    Answered,        // a reply from the ID, whole, its checksum good
    NoEcho,          // nothing of the request came back
    EchoAltered,     // it came back, but changed or cut short
    NoReply,         // only the echo came back
    ReplyNotWhole,   // a reply began but did not come whole within its length's time
    ReplyBadSum,     // a whole reply whose checksum does not add up
    ReplyLate,       // a whole reply, after the time a reply must begin in
  };

  std::uint8_t id;
  FrameBytes request;
  std::int32_t sentAtMs;                 // the request handed to the port
  FrameBytes echo;                       // what came back in its place
  std::optional<std::int32_t> echoMs;    // request's last byte on the line to the echo's last received
  FrameBytes reply;                      // the reply, or as much of it as came
  std::optional<std::int32_t> replyMs;   // request's last byte on the line to the reply's first received
  std::optional<std::int32_t> replyEndMs;  // ... to its last
  std::vector<std::int32_t> replyArrivals;  // when each of the reply's bytes was read
  Hearing heard;                         // everything from the request to the end of the attempt
  Outcome outcome = Outcome::NoEcho;
};

enum class CarVerdict {
  Answered,      // pass: an ECU answered
  OnlyEcho,      // only our own echo came back
  NoEcho,        // nothing of the request came back
  EchoAltered,   // the echo came back changed: a collision or noise
  ReplyBroken,   // a reply not whole, or whose checksum does not add up
  ReplyLate,     // a reply came, but later than a logger waits
  NoValidFrame,  // traffic, but nothing in it is an 8192-baud frame
  LineHeldLow,   // a break, or nothing but zero bytes
  PortLost,      // the port went away during the test
  RateRefused,   // the port would not take 8192 baud
  Halted,        // Stop Test, Ctrl-C
};

// What the car link test found.
struct CarLinkRecord {
  std::optional<std::uint8_t> chosenId;  // the one ID asked, or nothing: the common IDs in turn
  bool quietBus = false;                 // mode 8 asked for
  Hearing listen;                        // the first seconds, sending nothing
  std::vector<CarAttempt> attempts;
  bool quietBusSent = false;             // mode 8 went out; mode 9 followed
  CarVerdict verdict = CarVerdict::Halted;
  std::optional<std::uint8_t> answeredId;
  // Replies that came in bursts spaced alike: the adaptor holds bytes for about this long.
  std::optional<std::int32_t> burstSpacingMs;
  // With verdict RateRefused: the rate the port reports afterwards, when it can be read.
  std::optional<std::uint32_t> refusedReadBack;
};

// The IDs of the good frames heard that are neither the tester's own requests nor the replies it
// asked for: the modules that talk on the line by themselves.
std::vector<std::uint8_t> ChatteringIds(const CarLinkRecord& record);

// The attempt whose outcome the verdict rests on: the answer, else the last one.
const CarAttempt* DecisiveAttempt(const CarLinkRecord& record);
