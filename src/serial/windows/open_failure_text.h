#pragma once

#include <string>

// What a user reads when a COM port cannot be opened: the port, the reason, and what to do about
// it. error is GetLastError's code of the failing call; ERROR_INVALID_FUNCTION from
// GetCommState means the name is no serial port.
std::string OpenFailureText(const std::string& port, unsigned long error);

// "\\.\COM12" for "COM12": the device namespace reaches every port, COM10 and above too. A name
// that already starts with \\ is taken as it is.
std::wstring DevicePath(const std::string& port);
