#pragma once

#include <string>

// What a user reads when a serial device cannot be opened: the path, the reason, and what to
// do about it. error is the errno of the failing step (ENOTTY for "not a terminal", EBUSY for a
// line held in exclusive mode, EWOULDBLOCK for a lock held elsewhere); deviceGroup, used only for permission errors, is a
// group that may read and write the device and that a user could join ("" when there is none).
std::string OpenFailureText(const std::string& path, int error, const std::string& deviceGroup);

// A group that may read and write the device and that a user could join, not root; "" when there
// is none.
std::string JoinableGroup(const std::string& path);
