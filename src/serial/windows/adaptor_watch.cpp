#include "serial/adaptor_watch.h"

#include <stdexcept>

std::unique_ptr<AdaptorWatch> WatchFolder(const std::filesystem::path&) {
  throw std::runtime_error(
      "watching for adaptors is not available on Windows yet: test each adaptor with --port N");
}
