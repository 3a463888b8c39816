#include <unistd.h>

#include <iostream>
#include <optional>
#include <stdexcept>
#include <variant>

#include "cli/cli_options.h"
#include "cli/decimal_separator.h"
#include "cli/exit_status.h"
#include "cli/headless_run.h"
#include "cli/port_listing.h"
#include "cli/run_json.h"
#include "cli/terminal_panel.h"
#include "link/clock.h"
#include "serial/port_map.h"

namespace {

// The COM number to test on; --device stands on COM 1, as --simulate does.
std::int16_t ChosenPort(const CliOptions& options, PortMap& ports) {
  if (options.device) ports.Assign(1, *options.device);
  return options.comPort.value_or(1);
}

int RunTest(const CliOptions& options, PortMap& ports, Clock& clock) {
  const std::int16_t comPort = ChosenPort(options, ports);
  // With --json the standard output holds nothing but the JSON object.
  TerminalPanel panel(options.json ? std::cerr : std::cout, std::cerr, isatty(STDERR_FILENO) != 0);
  HeadlessRun run(ports, clock, panel, UserDecimalSeparator());

  if (const auto why = run.OpenPort(comPort)) {
    std::cerr << "aldl-tester-cli: cannot open COM " << comPort << ": " << *why << '\n';
    return kExitNoVerdict;
  }
  if (options.baud) run.SelectRate(*options.baud);
  const std::optional<RunRecord> record = run.Run(options.test);
  panel.EndReport();
  if (!record) return kExitNoVerdict;
  if (options.json) {
    std::cout << RunJson(comPort, ports.Device(comPort), ports.Identity(comPort), options.test,
                         *record).dump(2) << '\n';
  }
  return ExitStatusOf(record->verdict);
}

}  // namespace

int main(int argc, char* argv[]) {
  const auto commandLine = ParseCommandLine(argc, argv);
  if (const int* exitStatus = std::get_if<int>(&commandLine)) return *exitStatus;
  const auto& options = std::get<CliOptions>(commandLine);

  SystemClock clock;
  std::optional<PortMap> ports;
  try {
    ports.emplace(
        PortMap::FromEnvironment([&clock] { return clock.timeGetTime(); }, options.simulate));
  } catch (const std::invalid_argument& bad) {
    std::cerr << "aldl-tester-cli: " << bad.what() << '\n';
    return kExitUsage;
  }

  if (options.list) {
    if (options.json) {
      std::cout << PortListJson(*ports).dump(2) << '\n';
    } else {
      ListPorts(*ports, std::cout);
    }
    return kExitPassed;
  }
  return RunTest(options, *ports, clock);
}
