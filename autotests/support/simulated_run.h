#pragma once

#include <functional>
#include <string>
#include <vector>

#include "adaptor_tests/test_session.h"
#include "common/test_panel.h"
#include "serial/port_selection.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

// A panel that keeps everything a test writes, CRLFs included. Each run has a panel of its own,
// so clearing it has nothing to clear.
class RecordingPanel final : public TestPanel {
 public:
  void ReportStatus(const std::string& message, const std::string& status, bool) override {
    report += message;
    if (!status.empty()) this->status = status;
  }
  void SetStatusColour(Colour value) override { colour = value; }
  void SetBaudCaption(const std::string& caption) override { baudCaption = caption; }
  void Beep() override { ++beeps; }
  void SetTestBusy(bool busy) override { busyCalls.push_back(busy); }
  void ShowMessage(const std::string&, std::int32_t, const std::string&) override {}

  std::string report;
  std::string status;
  Colour colour{0, 0, 0};
  std::string baudCaption;
  int beeps = 0;
  std::vector<bool> busyCalls;
};

// A test run on COM 1 with the given device, driven by a fake clock and recorded.
struct SimulatedRun {
  explicit SimulatedRun(const std::string& device) {
    ports.Assign(1, device);
    SelectComPort(port, 1);
  }

  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  RecordingPanel panel;
  std::function<void()> onEvents = [] {};
  std::function<void()> onRepaint = [] {};
  TestSession session{
      ports, clock, panel, {[] {}, {[this](std::int32_t) { onEvents(); }, [this] { onRepaint(); }}}, "."};
  PortContext& port = session.Port();
};
