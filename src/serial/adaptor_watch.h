#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "serial/system_roots.h"

// Wakes the bench when adaptors come and go, as the system tells it rather than by polling where
// the system can tell: Linux's by-id folder (also while it does not exist yet), Windows' COM port
// arrivals, or the one device the user named.
class AdaptorWatch {
 public:
  // An adaptor the system shows: the device to open, and which coming of which adaptor it is (an
  // adaptor plugged in again is another appearance, even when the watch did not see it go). An
  // entry is its appearance: the name the system shows it under may change while it stays.
  struct Entry {
    std::string device;
    std::string appearance;
    std::string link;  // the name the system shows for it now: its by-id link, its COM port
    friend bool operator<(const Entry& a, const Entry& b) { return a.appearance < b.appearance; }
    friend bool operator==(const Entry& a, const Entry& b) { return a.appearance == b.appearance; }
  };

  virtual ~AdaptorWatch() = default;
  // What is watched, as the bench names it to its user: a folder, a device, the COM ports.
  virtual std::string Where() const = 0;
  // The adaptors there now, in the order of their names; none while there is nowhere to look.
  virtual std::vector<Entry> Entries() = 0;
  // Sleeps until the adaptors may have changed or a Ctrl-C comes; returns at once when
  // stopRequested says one already came.
  virtual void Wait(const std::function<bool()>& stopRequested) = 0;
};

// Each raises std::runtime_error with the reason when this system cannot watch.
// The one device the user named (a path or link, a COM port): its entry while it is there.
std::unique_ptr<AdaptorWatch> WatchDevice(const std::string& device, const SystemRoots& roots);
// Every adaptor the system shows.
std::unique_ptr<AdaptorWatch> WatchAdaptors(const SystemRoots& roots);
