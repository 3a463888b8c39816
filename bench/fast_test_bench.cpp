// Runs whole fast tests on the simulated adaptor with the real clock, for true line rates from
// 7600 to 8800 baud, and prints what the transfer-speed check measured and how long each run
// took against the least it can take. The error is the measurement's, against the true rate.

#include <chrono>
#include <cstdio>
#include <string>

#include "adaptor_tests/test_session.h"
#include "link/clock.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"
#include "silent_panel.h"

namespace {

// Three 500 ms pauses, three 256-byte blocks and the 2048-byte block on the line (each back
// 10 ms after it left), and the 500 ms closing pause.
double FloorMs(double lineRate) {
  const double blockMs = 256 * 10000.0 / lineRate + 10;
  const double speedBlockMs = 2048 * 10000.0 / lineRate + 10;
  return 3 * 500 + 3 * blockMs + speedBlockMs + 500;
}

}  // namespace

int main() {
  std::printf("%9s %10s %8s %10s %8s %10s %10s\n", "line baud", "measured", "error",
              "vs 8192", "verdict", "wall ms", "floor ms");
  for (int lineRate = 7600; lineRate <= 8800; lineRate += 100) {
    SystemClock clock;
    PortMap ports([&clock] { return clock.timeGetTime(); });
    ports.Assign(1, "sim:rate=" + std::to_string(lineRate));
    SilentPanel panel;
    TestSession session(ports, clock, panel, SleepingHooks(), ".");
    SelectComPort(session.Port(), 1);

    const auto start = std::chrono::steady_clock::now();
    const RunRecord record = *session.Start(TestKind::Fast);
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    const float measured = record.speed && record.speed->measuredRate ? *record.speed->measuredRate : 0;
    std::printf("%9d %10.1f %7.2f%% %9.2f%% %8s %10.0f %10.0f\n", lineRate, measured,
                (measured / lineRate - 1) * 100, (measured / 8192.0 - 1) * 100,
                record.speed && record.speed->outcome == SpeedOutcome::Passed ? "pass" : "fail",
                wallMs, FloorMs(lineRate));
  }
}
