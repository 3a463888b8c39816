#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

// Wakes the bench when adaptors come and go: the entries of one folder (the system's by-id
// folder, or the folder of one named device), watched by the system rather than polled, also
// while the folder does not exist yet.
class AdaptorWatch {
 public:
  // An adaptor the folder shows: the device its entry resolves to, and which of its comings it
  // is (an entry made again, as plugging the adaptor in again does, is another appearance, even
  // when the watch did not see it go). The entry's name is not part of it: the system makes a
  // link under a passing name and renames it.
  struct Entry {
    std::filesystem::path device;
    std::string appearance;
    std::filesystem::path link;  // the entry as the folder shows it now
    friend bool operator<(const Entry& a, const Entry& b) {
      return std::tie(a.device, a.appearance) < std::tie(b.device, b.appearance);
    }
    friend bool operator==(const Entry& a, const Entry& b) {
      return a.device == b.device && a.appearance == b.appearance;
    }
  };

  virtual ~AdaptorWatch() = default;
  // The adaptors the folder shows now, in the order of their entries' names; none while it does
  // not exist.
  virtual std::vector<Entry> Entries() = 0;
  // Sleeps until the folder may have changed or a Ctrl-C comes; returns at once when
  // stopRequested says one already came.
  virtual void Wait(const std::function<bool()>& stopRequested) = 0;
};

// Raises std::runtime_error with the reason when this system cannot watch the folder.
std::unique_ptr<AdaptorWatch> WatchFolder(const std::filesystem::path& folder);
