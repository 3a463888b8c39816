#include "serial/windows/system_error_text.h"

#include "serial/windows/windows_api.h"

std::string SystemErrorText(unsigned long error) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring words = length > 0 ? std::wstring(text, length) : L"";
  LocalFree(text);
  while (!words.empty() && (words.back() == L'\n' || words.back() == L'\r' ||
                            words.back() == L' ' || words.back() == L'.')) {
    words.pop_back();
  }
  const std::string number = "error " + std::to_string(error);
  return words.empty() ? number : Narrowed(words) + " (" + number + ")";
}

std::wstring Widened(const std::string& text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

std::string Narrowed(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(), size,
                      nullptr, nullptr);
  return narrow;
}
