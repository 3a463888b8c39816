#include "serial/windows/com_port_watch.h"

#include <algorithm>

ComPortWatch::ComPortWatch(std::unique_ptr<PortArrivals> arrivals, PortLister list)
    : arrivals_(std::move(arrivals)), list_(std::move(list)) {
  arrivals_->TakeArrivals();
  for (const ListedPort& each : list_()) listed_.insert(each.adaptor);
}

std::vector<AdaptorWatch::Entry> ComPortWatch::Entries() {
  for (const std::string& adaptor : arrivals_->TakeArrivals()) {
    if (unannounced_.erase(adaptor) == 0) {
      ++comings_[adaptor];
      arrived_.insert(adaptor);
    }
  }
  const std::vector<ListedPort> ports = list_();
  std::set<std::string> listed;
  for (const ListedPort& each : ports) listed.insert(each.adaptor);
  for (const std::string& adaptor : listed) {
    if (listed_.contains(adaptor)) {
      arrived_.erase(adaptor);
    } else if (arrived_.erase(adaptor) == 0) {
      ++comings_[adaptor];
      unannounced_.insert(adaptor);
    }
  }
  for (const std::string& gone : listed_) {
    if (!listed.contains(gone)) unannounced_.erase(gone);
  }
  listed_ = listed;

  std::vector<Entry> entries;
  for (const ListedPort& each : ports) {
    entries.push_back({each.port, each.adaptor + "#" + std::to_string(comings_[each.adaptor]), each.port});
  }
  std::ranges::sort(entries, {}, &Entry::link);
  // An adaptor with two ports is tested on the first.
  std::vector<Entry> adaptors;
  for (const Entry& entry : entries) {
    if (std::ranges::find(adaptors, entry) == adaptors.end()) adaptors.push_back(entry);
  }
  return adaptors;
}
