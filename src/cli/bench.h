#pragma once

#include <memory>

class AdaptorWatch;
class Clock;
class PortMap;
struct CliOptions;

// --watch: tests adaptor after adaptor as they are plugged in, each once until it is
// unplugged, and logs each; a Ctrl-C ends it. Gives the exit status: 0 every adaptor tested
// passed, 1 one failed, 2 none failed but one got no verdict or the bench broke off (its log
// or its watch failed), 64 the bench could not start.
int RunBench(const CliOptions& options, PortMap& ports, Clock& clock);

// The same, with the adaptors coming and going as the given watch shows them rather than as the
// system's by-id folder does.
int RunBench(const CliOptions& options, PortMap& ports, Clock& clock, std::unique_ptr<AdaptorWatch> watch);
