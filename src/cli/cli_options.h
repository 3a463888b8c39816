#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

#include "tests/run_control.h"

// What the command line asks for. Exactly one of comPort, device and simulate is set, unless
// list is.
struct CliOptions {
  std::optional<std::int16_t> comPort;
  std::optional<std::string> device;    // used as COM 1
  std::optional<std::string> simulate;  // the simulated adaptor's faults, "" for a good one
  TestKind test = TestKind::Fast;
  std::optional<std::int32_t> baud;  // the rate to select before the run
  bool json = false;  // the run, or with list the list, as one JSON object
  bool list = false;
};

// The options, or the exit status when nothing is left to do: 0 after --help or --version, 64
// for bad usage (said on standard error).
std::variant<CliOptions, int> ParseCommandLine(int argc, const char* const argv[]);
