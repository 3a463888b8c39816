#include "common/standard_descriptors.h"

#include <io.h>

#include <cstdio>

// A port is a Windows handle, never one of the C runtime's descriptors, so it cannot become
// standard output. A program started without a console or with a stream closed has no valid
// descriptor there; NUL takes its place, so that writing the report fails nowhere.
void EnsureStandardDescriptors() {
  FILE* const streams[] = {stdin, stdout, stderr};
  const char* const modes[] = {"r", "w", "w"};
  for (int fd = 0; fd <= 2; ++fd) {
    if (_get_osfhandle(fd) != -1) continue;
    [[maybe_unused]] FILE* reopened = std::freopen("NUL", modes[fd], streams[fd]);
  }
}
