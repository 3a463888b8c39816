#include "serial/linux/open_failure_text.h"

#include <cerrno>
#include <cstring>

std::string OpenFailureText(const std::string& path, int error, const std::string& deviceGroup) {
  switch (error) {
    case ENOENT:
      return path + " does not exist";
    case ENXIO:
    case ENODEV:
      return path + " has no device behind it: is the adaptor plugged in?";
    case EBUSY:
    case EWOULDBLOCK:
      return path + " is busy: another program has it open";
    case EISDIR:
    case ENOTTY:
      return path + " is not a serial device";
    case EACCES:
    case EPERM:
      if (deviceGroup.empty()) {
        return "permission denied on " + path +
               ": your user may not read and write it and no group a user could join may "
               "either; ask the administrator for read and write access to it";
      }
      return "permission denied on " + path + ": add yourself to group " + deviceGroup +
             " (sudo usermod -aG " + deviceGroup + " $USER) and log in again";
    default:
      return "cannot open " + path + ": " + std::strerror(error);
  }
}
