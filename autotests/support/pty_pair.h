#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <thread>

#include <mutex>
#include <optional>
#include <vector>

#include "car_line.h"
#include "paced_echo.h"
#include "serial/serial_device.h"
#include "serial/simulated_car.h"

// A pseudo-terminal standing in for a serial device: the code under test opens SlavePath() and
// the test plays the far end of the cable on the master side. In echo mode a background thread
// plays a looped-back cable instead, on a car the car's data line (the cable's echo and the
// car's modules), each as the QEMU harness plays it (PacedEcho, CarLine) at the slave's rate. An
// echo may come back later by echoLatency.
class PtyPair {
 public:
  enum class Mode { FarEnd, Echo };

  explicit PtyPair(Mode mode = Mode::FarEnd, std::chrono::milliseconds echoLatency = {});
  explicit PtyPair(const CarFaults& car);
  ~PtyPair();

  const std::string& SlavePath() const { return slavePath_; }

  // The far end sends these bytes to the slave.
  void Send(std::span<const std::uint8_t> bytes);
  // What the far end received: count bytes, or fewer once it has waited the time limit for more.
  ByteBuffer Receive(std::size_t count, std::chrono::milliseconds limit);
  // Closes the master side, as pulling a USB adaptor does: the slave hangs up.
  void HangUp();
  // How many bytes the echoing far end has received.
  std::size_t Echoed() const { return echoed_; }
  // The whole frames the car's modules heard from the tester.
  std::vector<FrameBytes> CarHeard();

  // What a user checks on the line afterwards: its settings (to compare with ==), whether it is
  // in exclusive mode, and whether some program holds its lock.
  ByteBuffer LineSettings() const;
  bool Exclusive() const;
  bool Locked() const;
  // Another program takes the line in exclusive mode, or takes its lock.
  void MakeExclusive();
  void Lock();
  void Unlock();

 private:
  template <typename Line>
  void Play(Line& line);

  int masterFd_ = -1;
  int slaveFd_ = -1;  // kept open so the pty never hangs up when the code under test reopens it
  std::string slavePath_;
  std::atomic<bool> stop_ = false;
  std::atomic<std::size_t> echoed_ = 0;
  std::mutex lineMutex_;
  std::optional<PacedEcho> loop_;
  std::optional<CarLine> car_;
  std::thread farEnd_;
};
