#include "serial/clsComSetup.h"

#include <limits>

#include "serial/MSComm.h"
#include "serial/comm_error.h"
#include "serial/skip_failing_step.h"

namespace {

std::int16_t ToInteger16(std::int32_t value) {
  if (value < std::numeric_limits<std::int16_t>::min() ||
      value > std::numeric_limits<std::int16_t>::max()) {
    throw CommError(CommErrorNumber::Overflow, "overflow");
  }
  return static_cast<std::int16_t>(value);
}

}  // namespace

clsComSetup::clsComSetup(std::function<void()> doEvents) : doEvents_(std::move(doEvents)) {}

clsComSetup::~clsComSetup() { CloseCom(); }

std::int32_t clsComSetup::PortNum() const { return comm_->CommPort(); }

void clsComSetup::SetPortNum(std::int32_t NewValue) {
  try {
    comm_->SetCommPort(ToInteger16(NewValue));
    errCode_ = 0;
  } catch (const CommError& error) {
    errCode_ = error.Number();
  }
}

std::string clsComSetup::FindAvailPorts() {
  std::string result;
  SkipFailingStep([&] { comm_->SetPortOpen(false); });
  for (std::int32_t n = 1; n <= maxComPorts_; ++n) {
    SkipFailingStep([&] { comm_->SetCommPort(ToInteger16(n)); });
    result += comm_->PortAvailable() ? "TRUE," : "FALSE,";
  }
  if (!result.empty()) result.pop_back();
  return result;
}

std::int32_t clsComSetup::OpenComPort(std::int32_t ComPortNum) {
  if (ComPortNum < 0 || ComPortNum > maxComPorts_) {
    errCode_ = -1;
    return -1;
  }
  SkipFailingStep([&] { comm_->SetPortOpen(false); });
  doEvents_();
  if (ComPortNum == 0) {
    errCode_ = 0;
    return 0;
  }
  SkipFailingStep([&] { comm_->SetCommPort(ToInteger16(ComPortNum)); });
  ConfigurePort();
  errCode_ = comm_->PortOpen() ? 0 : -2;
  return errCode_;
}

void clsComSetup::ConfigurePort() {
  SkipFailingStep([&] { comm_->SetInBufferSize(128); });
  SkipFailingStep([&] { comm_->SetOutBufferSize(128); });
  SkipFailingStep([&] { comm_->SetInputMode(1); });
  SkipFailingStep([&] { comm_->SetInputLen(0); });
  SkipFailingStep([&] { comm_->SetRThreshold(0); });
  SkipFailingStep([&] { comm_->SetSThreshold(0); });
  SkipFailingStep([&] { comm_->SetDTREnable(true); });
  SkipFailingStep([&] { comm_->SetRTSEnable(true); });
  SkipFailingStep([&] { comm_->SetHandshaking(0); });
  SkipFailingStep([&] { comm_->SetEOFEnable(false); });
  SkipFailingStep([&] { comm_->SetSettings("9600,n,8,1"); });
  SkipFailingStep([&] { comm_->SetRThreshold(0); });
  SkipFailingStep([&] { comm_->SetSThreshold(0); });
  SkipFailingStep([&] { comm_->SetPortOpen(true); });
  SetBaud(8192);
}

bool clsComSetup::SetBaud(std::int32_t Baud) {
  try {
    DCB record{};
    record.DCBlength = kDcbLength;
    GetCommState(comm_->CommID(), record);
    record.BaudRate = static_cast<std::uint32_t>(Baud);
    const bool accepted = SetCommState(comm_->CommID(), record) != 0;
    baudSetting_ = accepted ? Baud : 0;
    return accepted;
  } catch (const CommError&) {
    return false;
  }
}

void clsComSetup::CloseCom() {
  if (comm_) SkipFailingStep([&] { comm_->SetPortOpen(false); });
}
