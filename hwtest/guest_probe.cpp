// What the headless runner does not show, checked in the guest through the product's own serial
// layer: the modem lines each power phase leaves on the port, read back with TIOCMGET, and the
// rate the driver reads back after SetBaud.
//
//   aldl-hwtest-probe DEVICE lines   one line per phase: "phase N dtr=D rts=R"
//   aldl-hwtest-probe DEVICE rate    "rate 8192" (as GetCommState reads it back)
#include <sys/ioctl.h>

#include <filesystem>
#include <iostream>
#include <string>

#include "link/clock.h"
#include "serial/MSComm.h"
#include "serial/port_context.h"
#include "serial/port_map.h"
#include "serial/port_selection.h"

namespace {

constexpr std::int32_t kVehicleRate = 8192;

struct Phase {
  bool dtr;
  bool rts;
};
constexpr Phase kPhases[] = {{true, false}, {false, true}, {true, true}};

// TIOCMGET on the descriptor the port object holds, found among this process's own: opening
// the line again would raise DTR and RTS, as every open of a tty does.
int ModemLines(const std::string& device) {
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) != device) continue;
    int lines = 0;
    if (ioctl(std::stoi(entry.path().filename().string()), TIOCMGET, &lines) == 0) return lines;
  }
  return -1;
}

}  // namespace

int main(int argc, char* argv[]) {
  const std::string what = argc == 3 ? argv[2] : "";
  if (what != "lines" && what != "rate") {
    std::cerr << "usage: " << argv[0] << " DEVICE lines|rate\n";
    return 64;
  }
  const std::string device = argv[1];
  SystemClock clock;
  PortMap ports([&clock] { return clock.timeGetTime(); });
  ports.Assign(1, device);
  PortContext port(ports, [] {});
  port.ComSetup().SetMaxComPorts(kProbedComPorts);
  SelectComPort(port, 1);
  if (!port.state.PortReady) {
    std::cerr << "cannot open " << device << '\n';
    return 2;
  }

  if (what == "rate") {
    const bool accepted = port.ComSetup().SetBaud(kVehicleRate);
    DCB state;
    state.DCBlength = kDcbLength;
    if (!accepted || GetCommState(port.MSComm1.CommID(), state) == 0) {
      std::cout << "rate refused\n";
      return 1;
    }
    std::cout << "rate " << state.BaudRate << '\n';
    return 0;
  }

  int phase = 1;
  for (const Phase& power : kPhases) {
    SetLinePower(port, power.dtr, power.rts);
    const int lines = ModemLines(device);
    if (lines < 0) {
      std::cout << "phase " << phase++ << " unreadable\n";
      continue;
    }
    std::cout << "phase " << phase++ << " dtr=" << ((lines & TIOCM_DTR) ? 1 : 0)
              << " rts=" << ((lines & TIOCM_RTS) ? 1 : 0) << '\n';
  }
  return 0;
}
