#pragma once

#include <string>

// Sends one command to QEMU's human monitor on a UNIX socket and returns what it answered
// (empty when the command succeeded silently). Throws std::runtime_error when the monitor
// cannot be reached or does not answer.
std::string MonitorCommand(const std::string& socketPath, const std::string& command);
