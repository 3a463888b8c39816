#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "serial/dcb.h"

using ByteBuffer = std::vector<std::uint8_t>;

// The millisecond clock a simulated device keeps time by: the same 32-bit wrapping count the
// link code reads, so that a fake clock drives both.
using MillisecondSource = std::function<std::int32_t()>;

// One open serial device: a real tty or the simulated adaptor. Every operation raises CommError
// when the device fails (a pulled cable); none but the waits blocks for long.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;

  // The line settings in force, rate as the driver reports it.
  virtual DCB State() = 0;
  // Applies rate, data bits, parity and stop bits. False when the device refuses them.
  // The modem lines keep the states last set.
  virtual bool Apply(const DCB& settings) = 0;

  virtual void SetModemLines(bool dtr, bool rts) = 0;

  // Bytes received and waiting to be read; bytes queued and not yet sent.
  virtual int InputCount() = 0;
  virtual int OutputCount() = 0;
  // Block until the input count may have reached count, or the output queue may have emptied,
  // for at most ms of real time; 0 only looks. True once it may have. They return early enough
  // for a clock read afterwards to see the change to the millisecond, and they do not return at
  // once over and over while nothing changes.
  virtual bool WaitForInput(std::int32_t count, std::int32_t ms) = 0;
  virtual bool WaitForOutputEmpty(std::int32_t ms) = 0;
  virtual void DiscardInput() = 0;
  virtual void DiscardOutput() = 0;

  // Queues every byte for sending, in order, or raises: bytes are never dropped silently.
  virtual void Write(std::span<const std::uint8_t> bytes) = 0;
  // Removes and returns up to max of the bytes waiting; never waits for more.
  virtual ByteBuffer Read(std::size_t max) = 0;

  // Bytes the line sends before it is let go: when it is closed, and however the program ends,
  // a signal included. Empty: none. Never raises.
  virtual void SetFarewell(std::span<const std::uint8_t> bytes) = 0;

  // The device has stopped answering (a pulled cable): every operation fails from now on.
  virtual bool Lost() const = 0;
};
