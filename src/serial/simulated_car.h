#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

#include "common/aldl_frame.h"

// A car behind the cable: what is on its data line besides the tester. Faults, written with the
// simulated adaptor's after "sim:" once "car" is among them.
struct CarFaults {
  bool present = false;       // car: the adaptor is on a car's data line, not looped back
  bool ignitionOff = false;   // ignition-off: nothing talks but the tester
  std::uint8_t ecuId = 0xF4;  // ecu=HEX: the ID the ECU answers to
  bool chatter = false;       // chatter: a body computer's heartbeat every 315 ms, with its frames
  bool badChecksum = false;   // bad-checksum: the ECU's replies do not add up
  std::int32_t lateMs = 0;    // late=MS: the ECU replies this much later than its few ms
  bool slowBaud = false;      // 160-baud: a 160-baud computer, which the port reads as garbage
  bool heldLow = false;       // held-low: something holds the line low
  bool noEcho = false;        // no-echo: the cable is not on the data line
};

// A character on the line, as the cable's receiver reads it, and when its last bit ended.
struct WireCharacter {
  std::uint8_t byte;
  double endMs;
};

// The car's one data line at 8192 baud: the tester's characters and the car's modules'
// share it, each end reads all of it, and characters that overlap come out as one, their bits
// ANDed, as an open-collector line gives them. An ECU answers mode 1 requests to its ID a few
// ms after the request, and modes 0, 8 and 9 with the same frame; a body computer, when there is
// one, talks on its own but never over another module, and keeps quiet from mode 8 to mode 9.
// Times are milliseconds on the caller's timeline.
class SimulatedCar {
 public:
  explicit SimulatedCar(CarFaults faults);

  // A character the tester's port sends, its last bit at endMs, at a rate whose characters take
  // characterMs (one far from 8192 baud reaches no module as the byte it was).
  void Transmit(std::uint8_t byte, double endMs, double characterMs);
  // The tester's characters that have not begun by nowMs are taken back (its queue discarded).
  void Withdraw(double nowMs);
  // Runs the line up to nowMs; gives the characters that ended since, as the cable reads them.
  std::vector<WireCharacter> Advance(double nowMs);
  // When the line next changes, as far as is known now.
  std::optional<double> NextChangeMs() const;
  // The whole frames the modules heard from the tester, in order.
  const std::vector<FrameBytes>& HeardFromTester() const { return heardFromTester_; }

 private:
  enum class Talker { Tester, Ecu, Body, Slow, Collision };
  struct Character {
    std::uint8_t byte;
    double startMs;
    double endMs;
    Talker talker;
    bool offRate = false;
  };

  void Send(const FrameBytes& frame, double startMs, Talker talker);
  // The next character to end, with what overlaps it ANDed in.
  Character Finish(std::size_t index);
  void Hear(const Character& character);
  void Answer(const FrameBytes& frame, double endMs);
  void BodyTurn(double atMs);
  // Whether a frame of forMs from atMs would meet other traffic, or follow it too closely.
  bool LineBusy(double atMs, double forMs) const;
  std::optional<double> NextTurnMs() const;

  CarFaults faults_;
  std::vector<Character> pending_;
  double lastEndMs_ = -1e9;
  // The ECU's receiver: what it heard since its last frame, from the tester and the body.
  std::vector<std::uint8_t> ecuHeard_;
  std::vector<bool> ecuHeardFromTester_;
  double ecuLastByteMs_ = -1e9;
  std::vector<FrameBytes> heardFromTester_;
  bool bodyQuiet_ = false;
  double bodyNextMs_;
  double bodyCycleMs_ = 0;  // when its cycle began
  std::size_t bodyFrame_ = 0;
  double slowNextMs_;
  double groundNextMs_;
};
