#pragma once

#include <string>

// What a user reads when a serial device cannot be opened: the path, the reason, and what to
// do about it. error is the errno of the failing step (ENOTTY for "not a terminal",
// EWOULDBLOCK for a lock held elsewhere); deviceGroup is the group owning the device node,
// used only for permission errors.
std::string OpenFailureText(const std::string& path, int error, const std::string& deviceGroup);
