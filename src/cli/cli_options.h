#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "adaptor_tests/run_control.h"

// What the command line asks for. Exactly one of comPort, device and simulate is set, unless
// list is or watch is (which takes comPort or device, or neither).
struct CliOptions {
  std::optional<std::int16_t> comPort;
  std::optional<std::string> device;    // used as COM 1
  std::optional<std::string> simulate;  // the simulated adaptor's faults, "" for a good one
  TestKind test = TestKind::Fast;
  std::optional<std::int32_t> baud;  // the rate to select before the run
  std::optional<std::uint8_t> ecu;   // the car link test asks this ID only
  bool quietBus = false;             // the car link test sends mode 8 first and mode 9 after
  bool json = false;  // the run, or with list the list, as one JSON object
  bool list = false;
  bool watch = false;               // the bench: adaptor after adaptor as they are plugged in
  std::optional<std::string> log;  // the bench's log file
};

// Nothing left to do: 0 after --help or --version (already printed), or 64 for bad usage with
// what was wrong, for the caller to say.
struct CliExit {
  int status = 0;
  std::string error;
};

std::variant<CliOptions, CliExit> ParseCommandLine(int argc, const char* const argv[]);
