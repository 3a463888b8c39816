#include "serial/MSComm.h"

#include <cmath>
#include <limits>
#include <utility>

#include "serial/comm_error.h"
#include "serial/port_map.h"
#include "serial/settings_string.h"

namespace {

constexpr double kRateTolerance = 0.05;
constexpr std::int16_t kHighestCommPort = 255;
// How long an owed farewell may take to leave before the settings are put back.
constexpr int kFarewellWaits = 20;
constexpr std::int32_t kFarewellWaitMs = 10;

void Require(bool valid, const std::string& what) {
  if (!valid) throw CommError(CommErrorNumber::InvalidPropertyValue, what);
}

}  // namespace

MSComm::MSComm(PortMap& ports) : ports_(ports), settings_(ParseSettingsString("9600,n,8,1")) {}

MSComm::~MSComm() = default;

SerialDevice& MSComm::OpenDevice() const {
  if (!device_) throw CommError(CommErrorNumber::PortNotOpen, "the port is not open");
  return *device_;
}

void MSComm::SetCommPort(std::int16_t port) {
  if (PortOpen()) throw CommError(CommErrorNumber::PortAlreadyOpen, "the port is open");
  if (port < 1 || port > kHighestCommPort) {
    throw CommError(CommErrorNumber::InvalidPortNumber, "invalid port number " + std::to_string(port));
  }
  commPort_ = port;
}

void MSComm::SetPortOpen(bool open) {
  if (!open) {
    // A line still there sends its farewell as it closes; a lost one still owes it.
    if (device_ && !device_->Lost()) farewell_.clear();
    device_.reset();
    return;
  }
  if (PortOpen()) throw CommError(CommErrorNumber::PortAlreadyOpen, "the port is already open");
  device_.reset();
  std::unique_ptr<SerialDevice> device;
  try {
    device = ports_.Open(commPort_);
  } catch (const CommError& refused) {
    openFailures_[commPort_] = refused.what();
    throw;
  }
  openFailures_.erase(commPort_);
  if (!device->Apply(settings_)) {
    throw CommError(CommErrorNumber::PortUnavailable,
                    ports_.Device(commPort_) + " refused the line settings");
  }
  device->SetModemLines(dtr_, rts_);
  if (!farewell_.empty()) PayOwedFarewell(*device);
  device_ = std::move(device);
}

void MSComm::PayOwedFarewell(SerialDevice& device) {
  const ByteBuffer farewell = std::exchange(farewell_, {});
  DCB atRate = settings_;
  atRate.BaudRate = farewellRate_;
  if (!device.Apply(atRate)) return;
  device.Write(farewell);
  for (int wait = 0; wait < kFarewellWaits; ++wait) {
    if (device.WaitForOutputEmpty(kFarewellWaitMs)) break;
  }
  device.Apply(settings_);
}

void MSComm::SetFarewell(const ByteBuffer& bytes, std::uint32_t rate) {
  farewell_ = bytes;
  farewellRate_ = rate;
  if (device_) device_->SetFarewell(farewell_);
}

bool MSComm::PortAvailable() const { return !ports_.Unavailability(commPort_); }

std::optional<std::string> MSComm::OpenFailure(std::int16_t port) const {
  const auto failure = openFailures_.find(port);
  if (failure == openFailures_.end()) return std::nullopt;
  return failure->second;
}

void MSComm::SetSettings(const std::string& settings) {
  const DCB parsed = ParseSettingsString(settings);
  if (device_ && !device_->Apply(parsed)) {
    throw CommError(CommErrorNumber::InvalidPropertyValue, "the port refused " + settings);
  }
  settings_ = parsed;
}

void MSComm::SetInBufferSize(std::int16_t size) {
  if (device_) throw CommError(CommErrorNumber::PortAlreadyOpen, "the port is open");
  Require(size > 0, "the input buffer size must be positive");
}

void MSComm::SetOutBufferSize(std::int16_t size) {
  if (device_) throw CommError(CommErrorNumber::PortAlreadyOpen, "the port is open");
  Require(size > 0, "the output buffer size must be positive");
}

void MSComm::SetInputMode(int mode) { Require(mode == 1, "only binary input is supported"); }

void MSComm::SetInputLen(std::int16_t length) {
  Require(length >= 0, "the input length cannot be negative");
  inputLen_ = length;
}

void MSComm::SetRThreshold(std::int16_t threshold) {
  Require(threshold == 0, "receive events are not supported");
}

void MSComm::SetSThreshold(std::int16_t threshold) {
  Require(threshold == 0, "send events are not supported");
}

void MSComm::SetHandshaking(int handshaking) {
  Require(handshaking == 0, "flow control is not supported");
}

void MSComm::SetEOFEnable(bool enable) { Require(!enable, "end-of-file handling is not supported"); }

void MSComm::SetDTREnable(bool enable) {
  if (device_) device_->SetModemLines(enable, rts_);
  dtr_ = enable;
}

void MSComm::SetRTSEnable(bool enable) {
  if (device_) device_->SetModemLines(dtr_, enable);
  rts_ = enable;
}

std::int16_t MSComm::InBufferCount() const {
  return static_cast<std::int16_t>(OpenDevice().InputCount());
}

void MSComm::SetInBufferCount(std::int16_t count) {
  Require(count == 0, "only 0 may be written to the input count");
  OpenDevice().DiscardInput();
}

std::int16_t MSComm::OutBufferCount() const {
  return static_cast<std::int16_t>(OpenDevice().OutputCount());
}

void MSComm::SetOutBufferCount(std::int16_t count) {
  Require(count == 0, "only 0 may be written to the output count");
  OpenDevice().DiscardOutput();
}

bool MSComm::WaitInBufferCount(std::int32_t count, std::int32_t ms) const {
  return OpenDevice().WaitForInput(count, ms);
}

bool MSComm::WaitOutBufferEmpty(std::int32_t ms) const { return OpenDevice().WaitForOutputEmpty(ms); }

void MSComm::SetOutput(const ByteBuffer& bytes) { OpenDevice().Write(bytes); }

ByteBuffer MSComm::Input() {
  const std::size_t most = inputLen_ > 0 ? static_cast<std::size_t>(inputLen_)
                                         : std::numeric_limits<std::size_t>::max();
  return OpenDevice().Read(most);
}

CommHandle MSComm::CommID() const { return &OpenDevice(); }

int GetCommState(CommHandle handle, DCB& record) {
  if (!handle) return 0;
  try {
    const DCB state = handle->State();
    record.BaudRate = state.BaudRate;
    record.ByteSize = state.ByteSize;
    record.Parity = state.Parity;
    record.StopBits = state.StopBits;
    return 1;
  } catch (const CommError&) {
    return 0;
  }
}

int SetCommState(CommHandle handle, const DCB& record) {
  if (!handle || record.BaudRate == 0 ||
      record.BaudRate > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
    return 0;
  }
  try {
    if (!handle->Apply(record)) return 0;
    const double asked = record.BaudRate;
    const double running = handle->State().BaudRate;
    return std::abs(running - asked) <= kRateTolerance * asked ? 1 : 0;
  } catch (const CommError&) {
    return 0;
  }
}
