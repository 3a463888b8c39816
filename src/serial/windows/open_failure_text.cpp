#include "serial/windows/open_failure_text.h"

#include "serial/windows/system_error_text.h"
#include "serial/windows/windows_api.h"

std::string OpenFailureText(const std::string& port, unsigned long error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
      return port + " does not exist";
    // Windows lets one program at a time open a serial port; the others are denied access.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
      return port + " is busy: another program has it open";
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEVICE_REMOVED:
    case ERROR_NOT_READY:
      return port + " has no device behind it: is the adaptor plugged in?";
    case ERROR_INVALID_FUNCTION:
    case ERROR_NOT_SUPPORTED:
      return port + " is not a serial device";
    default:
      return "cannot open " + port + ": " + SystemErrorText(error);
  }
}

std::wstring DevicePath(const std::string& port) {
  const std::wstring name = Widened(port);
  return name.starts_with(L"\\\\") ? name : L"\\\\.\\" + name;
}
