// The any-port watch of Windows with the system's arrivals and its port list played by the test:
// Wine sends no arrivals and lists no port linked after it started.

#include <gtest/gtest.h>

#include "serial/windows/com_port_watch.h"
#include "serial/windows/port_devices.h"

namespace {

struct FakeSystem {
  std::vector<ListedPort> ports;
  std::vector<std::string> arrivals;
};

class FakeArrivals final : public PortArrivals {
 public:
  explicit FakeArrivals(FakeSystem& system) : system_(system) {}
  void Wait(const std::function<bool()>&) override {}
  std::vector<std::string> TakeArrivals() override { return std::exchange(system_.arrivals, {}); }

 private:
  FakeSystem& system_;
};

// Each entry as "PORT ADAPTOR#COMING".
std::vector<std::string> Shown(AdaptorWatch& watch) {
  std::vector<std::string> shown;
  for (const AdaptorWatch::Entry& entry : watch.Entries()) shown.push_back(entry.link + " " + entry.appearance);
  return shown;
}

using Shows = std::vector<std::string>;

// An adaptor is its instance id, whatever COM number it gets, and each plugging-in is one coming
// of it: told by its arrival, or by its port coming back into the list when the arrival is late
// or never comes, never by both.
TEST(ComPortWatch, EachPluggingInIsOneComingOfTheAdaptorWhateverItsComNumber) {
  FakeSystem system{{{"COM3", "USB\\A"}}, {}};
  ComPortWatch watch(std::make_unique<FakeArrivals>(system), [&] { return system.ports; });
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0"})) << "there at the start";

  system.arrivals = {"USB\\B"};
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0"})) << "arrived, not yet listed";
  system.ports.push_back({"COM7", "USB\\B"});
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0", "COM7 USB\\B#1"}));

  system.ports.pop_back();
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0"})) << "pulled";
  system.arrivals = {"USB\\B"};
  system.ports.push_back({"COM9", "USB\\B"});
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0", "COM9 USB\\B#2"})) << "plugged in again, on another COM number";

  system.arrivals = {"USB\\B"};
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0", "COM9 USB\\B#3"})) << "pulled and plugged between two lists";

  system.ports.push_back({"COM4", "USB\\C"});
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0", "COM4 USB\\C#1", "COM9 USB\\B#3"})) << "listed before its arrival";
  system.arrivals = {"USB\\C"};
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0", "COM4 USB\\C#1", "COM9 USB\\B#3"})) << "its late arrival";

  system.ports = {{"COM3", "USB\\A"}};
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0"}));
  system.ports = {{"COM3", "USB\\A"}, {"COM5", "USB\\C"}, {"COM6", "USB\\C"}};
  EXPECT_EQ(Shown(watch), (Shows{"COM3 USB\\A#0", "COM5 USB\\C#2"})) << "no arrival told; two ports of one adaptor";
}

TEST(ComPortWatch, AnInterfacesLinkNamesItsDevice) {
  EXPECT_EQ(InstanceIdOfInterface("\\\\?\\USB#VID_1A86&PID_7523#5&2B7F3C1A&0&2#{86e0d1e0-8089-11d0-9ce4-08003e301f73}"),
            "USB\\VID_1A86&PID_7523\\5&2B7F3C1A&0&2");
  EXPECT_EQ(InstanceIdOfInterface("\\\\?\\FTDIBUS#VID_0403+PID_6001+A1B2C3A#0000#{86e0d1e0-8089-11d0-9ce4-08003e301f73}"),
            "FTDIBUS\\VID_0403+PID_6001+A1B2C3A\\0000");
}

}  // namespace
