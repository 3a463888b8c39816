#pragma once

#include <functional>
#include <string>

#include "link/link_exchange.h"
#include "serial/port_context.h"
#include "serial/port_selection.h"
#include "support/fake_clock.h"
#include "support/recording_panel.h"
#include "support/safe_port_map.h"
#include "tests/adaptor_tests.h"
#include "tests/baud_list.h"
#include "tests/run_control.h"

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

  RunRecord Run(TestKind kind) { return *StartTest(tests, port, panel, kind); }

  // Stop Test pressed during the pause that follows the given occurrence of a report text.
  void StopDuringPauseAfter(const std::string& text, int occurrence = 1) {
    onEvents = [this, text, occurrence] {
      if (panel.report.ends_with(text) && Occurrences(text) == occurrence) StopTest(tests);
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
  PortContext port{ports, [] {}};
  LinkExchange link{port.MSComm1, clock, {[this](std::int32_t) { onEvents(); }, [this] { onRepaint(); }}};
  BaudListArray baudList = MakeBaudList();
  AdaptorTests tests{port, link, clock, panel, baudList, "."};
};
