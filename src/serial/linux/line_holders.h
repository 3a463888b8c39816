#pragma once

#include <sys/types.h>

#include <optional>
#include <string>

#include "serial/system_roots.h"

// The program that holds a serial line for itself, found without opening the line: a lock on
// its node (flock, as this program takes one) in the kernel's table of locks, or a live UUCP
// lock file (LCK..NAME, as minicom and others leave). Its name and process id, or nothing. A
// lock this program holds counts too: a second open of the line would fail as well.
std::optional<std::string> LineHolder(const std::string& path, const SystemRoots& roots);

// The process id a UUCP lock file holds: written as text ("      1234\n"), or, by old programs,
// as the 4 bytes of a binary number.
std::optional<pid_t> UucpLockPid(const std::string& contents);
