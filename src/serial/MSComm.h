#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "serial/dcb.h"
#include "serial/serial_device.h"

class PortMap;

// The open port's device handle, as CommID gives it to the device control block calls.
using CommHandle = SerialDevice*;

// The serial communications control: one port, configured while closed, then polled.
// Failures raise CommError.
class MSComm {
 public:
  explicit MSComm(PortMap& ports);
  ~MSComm();
  MSComm(const MSComm&) = delete;
  MSComm& operator=(const MSComm&) = delete;

  std::int16_t CommPort() const { return commPort_; }
  void SetCommPort(std::int16_t port);

  // False too once the device has stopped answering (a pulled cable).
  bool PortOpen() const { return device_ && !device_->Lost(); }
  // True opens the port with the current settings and line states; false closes it.
  void SetPortOpen(bool open);
  // Whether the port could be opened now, found without opening it: opening a line moves its
  // modem lines, which resets a board on another port.
  bool PortAvailable() const;
  // Why the last open of a COM number failed, which only opening can find (a line another
  // program holds in exclusive mode); nothing once one has succeeded.
  std::optional<std::string> OpenFailure(std::int16_t port) const;

  // Applied at every open, and at once when the port is open.
  void SetSettings(const std::string& settings);

  // The kernel's queues are larger than any size asked here; only the value is checked.
  void SetInBufferSize(std::int16_t size);
  void SetOutBufferSize(std::int16_t size);
  // Only what this system uses is offered: binary input, no events, no flow control, no
  // end-of-file handling. Other values raise InvalidPropertyValue.
  void SetInputMode(int mode);
  void SetInputLen(std::int16_t length);
  void SetRThreshold(std::int16_t threshold);
  void SetSThreshold(std::int16_t threshold);
  void SetHandshaking(int handshaking);
  void SetEOFEnable(bool enable);

  bool DTREnable() const { return dtr_; }
  void SetDTREnable(bool enable);
  bool RTSEnable() const { return rts_; }
  void SetRTSEnable(bool enable);

  std::int16_t InBufferCount() const;
  // Writing 0 discards what waits to be read.
  void SetInBufferCount(std::int16_t count);
  std::int16_t OutBufferCount() const;
  // Writing 0 discards what waits to be sent.
  void SetOutBufferCount(std::int16_t count);

  // Block until the count may have reached count, or the output queue may have emptied, for at
  // most ms of real time (0: only look); true once it may have.
  bool WaitInBufferCount(std::int32_t count, std::int32_t ms) const;
  bool WaitOutBufferEmpty(std::int32_t ms) const;

  void SetOutput(const ByteBuffer& bytes);
  // Removes and returns what has been received (at most InputLen bytes when that is not 0).
  ByteBuffer Input();

  CommHandle CommID() const;

  // Bytes the line sends at rate before it is let go: when the port closes, however the program
  // ends, and, when the port was lost with them still owed, as soon as it opens again. Empty:
  // none.
  void SetFarewell(const ByteBuffer& bytes, std::uint32_t rate);

 private:
  // Sends what a lost port still owed, at its rate, and puts the settings back.
  void PayOwedFarewell(SerialDevice& device);

  SerialDevice& OpenDevice() const;

  PortMap& ports_;
  std::unique_ptr<SerialDevice> device_;
  std::int16_t commPort_ = 1;
  DCB settings_;
  std::int16_t inputLen_ = 0;
  bool dtr_ = false;
  bool rts_ = false;
  ByteBuffer farewell_;
  std::uint32_t farewellRate_ = 0;
  std::map<std::int16_t, std::string> openFailures_;
};

// The device control block calls: non-zero on success, 0 on failure; they never raise.
int GetCommState(CommHandle handle, DCB& record);
// A rate of 0 or less is refused without touching the device (it would mean hang up and cut
// the adaptor's power), and so is a rate the driver silently replaces by one more than 5% away.
int SetCommState(CommHandle handle, const DCB& record);
