#include "serial/linux/open_failure_text.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <vector>

std::string OpenFailureText(const std::string& path, int error, const std::string& deviceGroup) {
  switch (error) {
    case ENOENT:
      return path + " does not exist";
    case ENXIO:
    case ENODEV:
      return path + " has no device behind it: is the adaptor plugged in?";
    // Opening a line another program holds in exclusive mode fails with EBUSY; a lock held fails
    // with EWOULDBLOCK.
    case EBUSY:
      return path + " is busy: held in exclusive mode by another program";
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

std::string JoinableGroup(const std::string& path) {
  struct stat info {};
  constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
  if (stat(path.c_str(), &info) != 0 || info.st_gid == 0 ||
      (info.st_mode & kGroupReadWrite) != kGroupReadWrite) {
    return {};
  }
  group entry{};
  group* found = nullptr;
  std::vector<char> text(16384);
  if (getgrgid_r(info.st_gid, &entry, text.data(), text.size(), &found) != 0 || !found) {
    return {};
  }
  return found->gr_name;
}
