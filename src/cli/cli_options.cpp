#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <map>

#include "cli/exit_status.h"
#include "serial/port_map.h"
#include "version.h"

namespace {

std::string VersionText() {
  return "aldl-tester-cli " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
         "." + std::to_string(kVersionRevision);
}

}  // namespace

std::variant<CliOptions, int> ParseCommandLine(int argc, const char* const argv[]) {
  CLI::App app(
      "Checks a looped-back ALDL adaptor cable on one serial port: the loopback under "
      "each way of powering it from DTR and RTS and, in the fast test, a true 8192 baud.",
      "aldl-tester-cli");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Exit status: 0 all phases passed, 1 errors occurred, 2 no verdict (halted, rate "
      "refused, port not opened), 64 bad usage.\nCOM n is the device in ALDL_COM<n> "
      "(a tty path, or sim[:FAULTS]); see --list.");

  CliOptions options;
  std::int16_t comPort = 0;
  std::string device;
  std::string faults;
  std::int32_t baud = 0;
  auto* portOption = app.add_option("--port", comPort, "Test on COM N")
                         ->option_text("N")
                         ->check(CLI::Range(1, PortMap::kComPorts));
  auto* deviceOption = app.add_option("--device", device, "Test on this serial device (as COM 1)")
                           ->option_text("PATH")
                           ->excludes(portOption);
  auto* simulateOption =
      app.add_option("--simulate", faults,
                     "Test on the simulated adaptor (COM 1), with these comma-separated faults: "
                     "dead, no-dtr, no-rts, noise, rate=N, std-rates, unplug=MS")
          ->option_text("[=FAULTS]")
          ->expected(0, 1)
          ->excludes(portOption)
          ->excludes(deviceOption);
  auto* testOption = app.add_option("--test", options.test, "Which test to run (default fast)")
                         ->option_text("fast|extended")
                         ->transform(CLI::CheckedTransformer(
                             std::map<std::string, TestKind>{{"fast", TestKind::Fast},
                                                             {"extended", TestKind::Extended}},
                             CLI::ignore_case));
  auto* baudOption = app.add_option("--baud", baud,
                                    "Select this rate before the run, as the Baud Select menu "
                                    "does (default: the 8192 set on opening)")
                         ->option_text("RATE")
                         ->check(CLI::PositiveNumber);
  app.add_flag("--json", options.json,
               "At the end, print the run as one JSON object on standard output; the report "
               "then goes to standard error. With --list, print the list as one JSON object");
  app.add_flag("--list", options.list,
               "List COM 1 to COM 16 with their devices, what each is (USB adaptor, UART, "
               "pty) and whether it can be opened")
      ->excludes(portOption, deviceOption, testOption, baudOption);

  try {
    app.parse(argc, argv);
    if (!options.list &&
        portOption->count() + deviceOption->count() + simulateOption->count() == 0) {
      throw CLI::RequiredError("--port, --device, --simulate or --list");
    }
  } catch (const CLI::ParseError& error) {
    return app.exit(error) == 0 ? kExitPassed : kExitUsage;
  }

  if (portOption->count() > 0) options.comPort = comPort;
  if (deviceOption->count() > 0) options.device = device;
  if (simulateOption->count() > 0) options.simulate = faults;
  if (baudOption->count() > 0) options.baud = baud;
  return options;
}
