#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "serial/adaptor_watch.h"

// What the system says when COM ports come: it wakes the watch, and names the adaptors (by
// instance id) whose ports arrived.
class PortArrivals {
 public:
  virtual ~PortArrivals() = default;
  // Sleeps until a port may have come or gone, or stopRequested says a Ctrl-C came.
  virtual void Wait(const std::function<bool()>& stopRequested) = 0;
  // The adaptors whose ports arrived since the last call, once each arrival.
  virtual std::vector<std::string> TakeArrivals() = 0;
};

// A COM port the system lists, and the adaptor it belongs to.
struct ListedPort {
  std::string port;
  std::string adaptor;
};
using PortLister = std::function<std::vector<ListedPort>()>;

// Every adaptor's COM ports, as the system lists them after each arrival: an adaptor is its
// instance id, whatever COM number it gets, and each plugging-in is another coming of it, seen
// by its arrival or, where the system tells none (or not yet), by its ports coming back into the
// list. Ports there at the start are their adaptor's coming 0.
class ComPortWatch final : public AdaptorWatch {
 public:
  ComPortWatch(std::unique_ptr<PortArrivals> arrivals, PortLister list);

  std::string Where() const override { return "the COM ports"; }
  std::vector<Entry> Entries() override;
  void Wait(const std::function<bool()>& stopRequested) override { arrivals_->Wait(stopRequested); }

 private:
  std::unique_ptr<PortArrivals> arrivals_;
  PortLister list_;
  std::map<std::string, int> comings_;
  std::set<std::string> listed_;     // the adaptors of the last listing
  std::set<std::string> arrived_;    // counted by an arrival, not yet listed
  std::set<std::string> unannounced_;  // counted by being listed again, its arrival still to come
};
