#include "common/standard_descriptors.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

void EnsureStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free descriptor is this one, since those below it are open.
    const int opened = open("/dev/null", O_RDWR);
    if (opened != fd && opened >= 0) close(opened);
  }
}
