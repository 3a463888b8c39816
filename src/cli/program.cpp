#include "cli/program.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <variant>

#include "adaptor_tests/diagnosis_text.h"
#include "cli/bench.h"
#include "cli/cli_options.h"
#include "cli/decimal_separator.h"
#include "cli/exit_status.h"
#include "cli/headless_run.h"
#include "cli/port_listing.h"
#include "cli/run_json.h"
#include "cli/terminal_panel.h"
#include "common/standard_descriptors.h"
#include "link/clock.h"
#include "serial/port_map.h"
#include "serial/process_endings.h"

namespace {

// The COM number to test on; --device stands on COM 1, as --simulate does.
std::int16_t ChosenPort(const CliOptions& options, PortMap& ports) {
  if (options.device) ports.Assign(1, *options.device);
  return options.comPort.value_or(1);
}

// With --json, standard output holds one JSON object whatever happens.
bool AsksForJson(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) return true;
  }
  return false;
}

int NoRun(bool json, int status, const std::string& verdict, const std::string& error) {
  std::cerr << "aldl-tester-cli: " << error << '\n';
  if (json) std::cout << JsonText(NoRunJson(verdict, error)) << '\n';
  return status;
}

int RunTest(const CliOptions& options, PortMap& ports, Clock& clock) {
  const std::int16_t comPort = ChosenPort(options, ports);
  // With --json the standard output holds nothing but the JSON object.
  std::ostream& report = options.json ? std::cerr : std::cout;
  TerminalPanel panel(report, std::cerr, isatty(STDERR_FILENO) != 0);
  HeadlessRun run(ports, clock, panel, UserDecimalSeparator());

  if (const auto why = run.OpenPort(comPort)) {
    return NoRun(options.json, kExitNoVerdict, "port-not-opened",
                 "cannot open COM " + std::to_string(comPort) + ": " + *why);
  }
  if (options.baud) run.SelectRate(*options.baud);
  const std::optional<RunRecord> record = run.Run(options.test, {options.ecu, options.quietBus});
  panel.EndReport();
  if (!record) return kExitNoVerdict;
  const PortIdentity identity = ports.Identity(comPort);
  if (const auto diagnoses = Diagnose(*record, identity); !diagnoses.empty()) {
    report << DiagnosisText(diagnoses) << std::flush;
  }
  if (options.json) {
    std::cout << JsonText(RunJson(comPort, ports.Device(comPort), identity, options.test, *record))
              << '\n';
  }
  return ExitStatusOf(*record);
}

// Output that never arrived is no success: a full disk or a closed file behind standard output
// ends with the reason and its own status.
int Delivered(int status) {
  errno = 0;
  if (std::cout.flush()) return status;
  const int error = errno;
  std::cerr << "aldl-tester-cli: cannot write to standard output"
            << (error != 0 ? std::string(": ") + std::strerror(error) : std::string()) << '\n';
  return kExitOutputFailed;
}

int Program(int argc, char* argv[], Clock& clock) {
  EnsureStandardDescriptors();
  PutLinesBackAtExit();
  EndByAnyFatalSignalPuttingLinesBack();

  const bool json = AsksForJson(argc, argv);
  const auto commandLine = ParseCommandLine(argc, argv);
  if (const auto* done = std::get_if<CliExit>(&commandLine)) {
    if (done->status == kExitPassed) return kExitPassed;
    return NoRun(json, done->status, "bad-usage", done->error + " (--help tells more)");
  }
  const auto& options = std::get<CliOptions>(commandLine);

  std::optional<PortMap> ports;
  try {
    ports.emplace(
        PortMap::FromEnvironment([&clock] { return clock.timeGetTime(); }, options.simulate));
  } catch (const std::invalid_argument& bad) {
    return NoRun(json, kExitUsage, "bad-usage", "--simulate=" + *options.simulate + ": " + bad.what());
  }

  if (options.list) {
    if (options.json) {
      std::cout << PortListJson(*ports).dump(2) << '\n';
    } else {
      ListPorts(*ports, std::cout);
    }
    return kExitPassed;
  }
  if (options.watch) return RunBench(options, *ports, clock);
  return RunTest(options, *ports, clock);
}

}  // namespace

int RunProgram(int argc, char* argv[], Clock& clock) { return Delivered(Program(argc, argv, clock)); }
