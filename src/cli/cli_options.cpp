#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <charconv>

#include "cli/exit_status.h"
#include "serial/baud_select.h"
#include "serial/port_map.h"
#include "version.h"

namespace {

std::string VersionText() {
  return "aldl-tester-cli " + std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) +
         "." + std::to_string(kVersionRevision);
}

// A whole number from lowest to highest, or the words that tell the user what to give instead.
CLI::Validator WholeNumber(std::int32_t lowest, std::int32_t highest, const std::string& what,
                           const std::string& advice) {
  return CLI::Validator(
      [=](const std::string& text) -> std::string {
        std::int32_t value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error == std::errc() && stop == end && value >= lowest && value <= highest) return {};
        return text + " is not " + what + ": " + advice;
      },
      "");
}

// The rates the test can pass at: a slower one needs more time than an exchange is given.
CLI::Validator MenuRate() {
  std::string rates;
  for (const std::int32_t rate : kSelectableBauds) {
    rates += (rates.empty() ? "" : rate == kSelectableBauds.back() ? " or " : ", ") + std::to_string(rate);
  }
  return CLI::Validator(
      [rates](const std::string& text) -> std::string {
        std::int32_t value = 0;
        const char* end = text.data() + text.size();
        const auto [stop, error] = std::from_chars(text.data(), end, value);
        if (error == std::errc() && stop == end && MenuEntryOfBaud(value)) return {};
        return text + " is not a rate of the Baud Select menu: give " + rates;
      },
      "");
}

std::optional<TestKind> TestNamed(std::string name) {
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name == "fast") return TestKind::Fast;
  if (name == "extended") return TestKind::Extended;
  if (name == "car") return TestKind::Car;
  return std::nullopt;
}

// An ECU's ID, as two hex digits with or without 0x.
std::optional<std::uint8_t> EcuId(std::string text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.erase(0, 2);
  unsigned id = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, id, 16);
  if (text.empty() || error != std::errc() || stop != end || id > 0xFF) return std::nullopt;
  return static_cast<std::uint8_t>(id);
}

}  // namespace

std::variant<CliOptions, CliExit> ParseCommandLine(int argc, const char* const argv[]) {
  CLI::App app(
      "Checks a looped-back ALDL adaptor cable on one serial port: the loopback under "
      "each way of powering it from DTR and RTS and, in the fast test, a true 8192 baud. "
      "On the car, the car link test asks the ECU for its data and says why no answer came.",
      "aldl-tester-cli");
  app.set_version_flag("--version", VersionText());
  app.footer(
      "Exit status: 0 all phases passed (the car link test: the ECU answered), 1 a phase failed "
      "(no answer), 2 no verdict and nothing failed (halted, rate refused, port not opened), 64 "
      "bad usage.\nCOM n is the device in "
      "ALDL_COM<n> (a tty path, or sim[:FAULTS]); see --list.");

  CliOptions options;
  std::int16_t comPort = 0;
  std::string device;
  std::string faults;
  std::string test;
  std::int32_t baud = 0;
  auto* portOption =
      app.add_option("--port", comPort, "Test on COM N")
          ->option_text("N")
          ->check(WholeNumber(1, PortMap::kComPorts, "a COM number",
                              "give 1 to " + std::to_string(PortMap::kComPorts) +
                                  " (--list shows them), or --device PATH"));
  auto* deviceOption = app.add_option("--device", device, "Test on this serial device (as COM 1)")
                           ->option_text("PATH")
                           ->excludes(portOption);
  auto* simulateOption =
      app.add_option("--simulate", faults,
                     "Test on the simulated adaptor (COM 1), with these comma-separated faults: "
                     "dead, no-dtr, no-rts, noise, rate=N, std-rates, unplug=MS; car puts it on a "
                     "car's data line, with ignition-off, ecu=HEX, chatter, bad-checksum, late=MS, "
                     "160-baud, held-low, no-echo")
          ->option_text("[=FAULTS]")
          ->expected(0, 1)
          ->excludes(portOption)
          ->excludes(deviceOption);
  auto* testOption =
      app.add_option("--test", test,
                     "Which test to run (default fast): the loopback tests, or car, which on the car "
                     "only reads (mode 1 requests)")
          ->option_text("fast|extended|car")
          ->check(CLI::Validator(
              [](const std::string& name) -> std::string {
                return TestNamed(name) ? "" : name + " is not a test: choose fast, extended or car";
              },
              ""));
  std::string ecu;
  auto* ecuOption =
      app.add_option("--ecu", ecu,
                     "With --test car, ask the ECU with this ID only (default: F4, then F5, F7, E4, "
                     "F0 and 80 until one answers)")
          ->option_text("HEX")
          ->check(CLI::Validator(
              [](const std::string& text) -> std::string {
                return EcuId(text) ? "" : text + " is not an ECU ID: give two hex digits, such as F4";
              },
              ""));
  auto* quietBusOption = app.add_flag("--quiet-bus", options.quietBus,
                                      "With --test car, ask the other modules to keep quiet (mode 8) "
                                      "first, and to talk again (mode 9) at the end, however it ends");
  auto* baudOption =
      app.add_option("--baud", baud,
                     "Select this rate before the run, as the Baud Select menu does (default: "
                     "the 8192 set on opening)")
          ->option_text("RATE")
          ->check(MenuRate());
  app.add_flag("--json", options.json,
               "Print the run as one JSON object on standard output; the report then goes to "
               "standard error. With --list, print the list as one JSON object; with --watch, "
               "one JSON line per adaptor, in the log too");
  app.add_flag("--list", options.list,
               "List COM 1 to COM 16 with their devices, what each is (USB adaptor, UART, "
               "pty) and whether it can be opened")
      ->excludes(portOption, deviceOption, testOption, baudOption);
  auto* watchOption =
      app.add_flag("--watch", options.watch,
                   "A cable maker's bench: wait for each USB adaptor to be plugged in "
                   "(/dev/serial/by-id), test it, show the verdict, and take the next once it "
                   "is unplugged; adaptors there at the start are left alone. With --port or "
                   "--device, that one port, each time it appears. Ctrl-C ends it with a "
                   "summary")
          ->excludes(simulateOption);
  std::string log;
  auto* logOption = app.add_option("--log", log,
                                   "With --watch, append one line per adaptor to this CSV file "
                                   "(JSON lines with --json), on the disk before the next")
                        ->option_text("FILE")
                        ->needs(watchOption);

  try {
    app.parse(argc, argv);
    if (!options.list && !options.watch &&
        portOption->count() + deviceOption->count() + simulateOption->count() == 0) {
      throw CLI::ValidationError("say where to test: --port N, --device PATH, --simulate or "
                                 "--watch (or --list to see the ports)");
    }
    if (ecuOption->count() + quietBusOption->count() > 0 && TestNamed(test) != TestKind::Car) {
      throw CLI::ValidationError("--ecu and --quiet-bus are for the car link test: add --test car");
    }
  } catch (const CLI::CallForHelp& help) {
    return CliExit{app.exit(help), {}};
  } catch (const CLI::CallForVersion& version) {
    return CliExit{app.exit(version), {}};
  } catch (const CLI::ParseError& error) {
    return CliExit{kExitUsage, error.what()};
  }

  if (portOption->count() > 0) options.comPort = comPort;
  if (deviceOption->count() > 0) options.device = device;
  if (simulateOption->count() > 0) options.simulate = faults;
  if (testOption->count() > 0) options.test = *TestNamed(test);
  if (baudOption->count() > 0) options.baud = baud;
  if (ecuOption->count() > 0) options.ecu = EcuId(ecu);
  if (logOption->count() > 0) options.log = log;
  return options;
}
