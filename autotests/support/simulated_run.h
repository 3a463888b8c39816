#pragma once

#include <functional>
#include <string>

#include "serial/port_selection.h"
#include "support/fake_clock.h"
#include "support/recording_panel.h"
#include "support/safe_port_map.h"
#include "tests/test_session.h"

// A test run on COM 1 with the given device, driven by a fake clock and recorded.
class SimulatedRun {
 public:
  explicit SimulatedRun(const std::string& device) {
    ports.Assign(1, device);
    SelectComPort(port, 1);
  }

  // With the fake clock a 2048-byte block is counted back 10 ms (the echo's latency) plus its
  // line time after the clock was read for the start, at the first whole ms: a line at this rate
  // makes the measurement see exactly elapsedMs.
  static std::string SimulatedLineForElapsed(int elapsedMs) {
    return "sim:rate=" + std::to_string(20480000.0 / (elapsedMs - 10.5));
  }

  RunRecord Run(TestKind kind) { return *session.Start(kind); }

  // Stop Test pressed during the pause that follows the given occurrence of a report text.
  void StopDuringPauseAfter(const std::string& text, int occurrence = 1) {
    onEvents = [this, text, occurrence] {
      if (panel.report.ends_with(text) && Occurrences(text) == occurrence) session.Stop();
    };
  }

  int Occurrences(const std::string& text) const {
    int count = 0;
    for (auto at = panel.report.find(text); at != std::string::npos;
         at = panel.report.find(text, at + 1)) {
      ++count;
    }
    return count;
  }

  FakeClock clock;
  PortMap ports = SafePortMap(clock.Source());
  RecordingPanel panel;
  std::function<void()> onEvents = [] {};
  std::function<void()> onRepaint = [] {};
  TestSession session{
      ports, clock, panel, {[] {}, {[this](std::int32_t) { onEvents(); }, [this] { onRepaint(); }}}, "."};
  PortContext& port = session.Port();
  LinkExchange& link = session.Link();
  AdaptorTests& tests = session.Tests();
  BaudListArray& baudList = session.BaudList;
};
