// What the waits cost and how steady the measurement stays when the machine is busy: whole fast
// tests with the real clock on the simulated adaptor and on a pty looped back by a paced echo
// (10 ms of latency, as the simulated adaptor has), first on an idle machine and then with four
// processes spinning at the same priority. For each it prints the wall time and the CPU time of
// the thread that runs the test, the measured rate and its error against the line's 8192 baud,
// and how many runs passed.

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "adaptor_tests/test_session.h"
#include "link/clock.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"
#include "silent_panel.h"
#include "support/pty_pair.h"

namespace {

constexpr double kLineRate = 8192;
constexpr int kBusyProcesses = 4;

struct RunFigures {
  double wallS;
  double cpuS;
  bool passed;
  float measured;  // 0 when nothing was measured
};

double ThreadCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

RunFigures FastTestOn(const std::string& device) {
  SystemClock clock;
  PortMap ports([&clock] { return clock.timeGetTime(); });
  ports.Assign(1, device);
  SilentPanel panel;
  TestSession session(ports, clock, panel, SleepingHooks(), ".");
  SelectComPort(session.Port(), 1);

  const double cpuBefore = ThreadCpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  const RunRecord record = *session.Start(TestKind::Fast);
  const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
  if (record.verdict != Verdict::Passed) {
    constexpr const char* kPhaseOutcomes[] = {"passed", "transmit time-out", "receive time-out",
                                              "compare error", "port not open"};
    constexpr const char* kSpeedOutcomes[] = {"passed", "no data", "out of range", "port not open"};
    std::fprintf(stderr, "failed run on %s:", device.c_str());
    for (const PhaseRecord& phase : record.rates.front().phases) {
      std::fprintf(stderr, " phase %d %s,", phase.phase,
                   kPhaseOutcomes[static_cast<int>(phase.outcome)]);
    }
    std::fprintf(stderr, " phase 4 %s\n",
                 record.speed ? kSpeedOutcomes[static_cast<int>(record.speed->outcome)] : "not run");
  }
  const float measured =
      record.speed && record.speed->measuredRate ? *record.speed->measuredRate : 0.0f;
  return {wall.count(), ThreadCpuSeconds() - cpuBefore, record.verdict == Verdict::Passed, measured};
}

// Processes that spin until killed, at the priority this one runs at.
class BusyProcesses {
 public:
  explicit BusyProcesses(int count) {
    for (int i = 0; i < count; ++i) {
      const pid_t child = fork();
      if (child == 0) {
        volatile unsigned long spins = 0;
        for (;;) spins = spins + 1;
      }
      if (child > 0) children_.push_back(child);
    }
  }
  ~BusyProcesses() {
    for (const pid_t child : children_) kill(child, SIGKILL);
    for (const pid_t child : children_) waitpid(child, nullptr, 0);
  }
  BusyProcesses(const BusyProcesses&) = delete;
  BusyProcesses& operator=(const BusyProcesses&) = delete;

 private:
  std::vector<pid_t> children_;
};

void PrintRow(const char* line, const char* load, const std::vector<RunFigures>& runs) {
  double wall = 0, cpu = 0;
  std::vector<double> errors;
  int passed = 0;
  for (const RunFigures& run : runs) {
    wall += run.wallS;
    cpu += run.cpuS;
    passed += run.passed ? 1 : 0;
    errors.push_back(std::abs(run.measured / kLineRate - 1) * 100);
  }
  std::sort(errors.begin(), errors.end());
  const auto n = static_cast<double>(runs.size());
  std::printf("%-10s %-7s %4zu %7.2f %7.3f %6.2f%% %8.3f%% %8.3f%% %5d/%zu\n", line, load,
              runs.size(), wall / n, cpu / n, cpu / wall * 100, errors[errors.size() / 2],
              errors.back(), passed, runs.size());
  std::fflush(stdout);
}

std::vector<RunFigures> Runs(const std::string& device, int count) {
  std::vector<RunFigures> runs;
  for (int i = 0; i < count; ++i) runs.push_back(FastTestOn(device));
  return runs;
}

}  // namespace

int main(int argc, char* argv[]) {
  const int idleRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
  const int loadedRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  std::printf("Fast tests at %.0f baud, means per run; CPU is the testing thread's share of the "
              "wall time; error is |measured / line - 1|.\n", kLineRate);
  std::printf("%-10s %-7s %4s %7s %7s %7s %9s %9s %7s\n", "line", "load", "runs", "wall s",
              "CPU s", "CPU", "error med", "error max", "passed");
  PtyPair cable(PtyPair::Mode::Echo, std::chrono::milliseconds(10));
  const std::pair<const char*, std::string> lines[] = {{"simulated", "sim"},
                                                       {"pty", cable.SlavePath()}};
  for (const auto& [name, device] : lines) PrintRow(name, "idle", Runs(device, idleRuns));
  const BusyProcesses busy(kBusyProcesses);
  for (const auto& [name, device] : lines) PrintRow(name, "4 busy", Runs(device, loadedRuns));
}
