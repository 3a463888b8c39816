#pragma once

#include <string>

// The system's own words for a GetLastError code, with the number: "The system cannot find the
// file specified (error 2)".
std::string SystemErrorText(unsigned long error);

// UTF-8 to and from the UTF-16 that the wide Win32 calls take.
std::wstring Widened(const std::string& text);
std::string Narrowed(const std::wstring& text);
