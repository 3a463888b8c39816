#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

// Wakes the bench when adaptors come and go: the entries of one folder (the system's by-id
// folder, or the folder of one named device), watched by the system rather than polled, also
// while the folder does not exist yet.
class AdaptorWatch {
 public:
  // An entry of the folder, and which of its comings it is: an entry made again (the adaptor
  // plugged in again) is another appearance, even when the watch did not see it go.
  struct Entry {
    std::filesystem::path path;
    std::string appearance;
    auto operator<=>(const Entry&) const = default;
  };

  virtual ~AdaptorWatch() = default;
  // The folder's entries now, in name order; none while it does not exist.
  virtual std::vector<Entry> Entries() = 0;
  // Sleeps until the folder may have changed or a Ctrl-C comes; returns at once when
  // stopRequested says one already came.
  virtual void Wait(const std::function<bool()>& stopRequested) = 0;
};

// Raises std::runtime_error with the reason when this system cannot watch the folder.
std::unique_ptr<AdaptorWatch> WatchFolder(const std::filesystem::path& folder);
