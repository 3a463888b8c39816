#include "serial/port_context.h"

#include "serial/skip_failing_step.h"

PortContext::PortContext(PortMap& ports, std::function<void()> doEvents)
    : MSComm1(ports), doEvents_(std::move(doEvents)) {}

PortContext::~PortContext() = default;

clsComSetup& PortContext::ComSetup() {
  if (!comSetup_) {
    comSetup_ = std::make_unique<clsComSetup>(doEvents_);
    comSetup_->SetComObject(MSComm1);
  }
  return *comSetup_;
}

void SetLinePower(PortContext& port, bool dtr, bool rts) {
  if (!port.state.PortReady) return;
  SkipFailingStep([&] { port.MSComm1.SetPortOpen(false); });
  SkipFailingStep([&] { port.MSComm1.SetDTREnable(dtr); });
  SkipFailingStep([&] { port.MSComm1.SetRTSEnable(rts); });
  SkipFailingStep([&] { port.MSComm1.SetPortOpen(true); });
  port.ComSetup().SetBaud(port.state.CurrentBaud);
}
