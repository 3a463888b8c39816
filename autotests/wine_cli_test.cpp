// The Windows aldl-tester-cli.exe under Wine, run from Linux: on the simulated adaptor, and on
// COM5, which Wine maps to a pty of the test's (a dosdevices/com5 link) with the paced echo or a
// dead line as the far end. Every other COM number is mapped to a missing name, and the prefix
// has no COM link of Wine's own (tools/wine_run.sh), so no run reaches a real serial device.
// Built by ./build.sh windows and run from build-windows' ctest, which gives the .exe, the
// prefix and tools/wine_run.sh in the environment.

#include <fcntl.h>
#include <termios.h>

#include <cstdlib>
#include <filesystem>
#include <vector>
#include <nlohmann/json.hpp>

#include "support/cli_process.h"
#include "support/pty_pair.h"

namespace {

namespace fs = std::filesystem;

// What a Windows user sees of a port's settings: its rate and framing.
struct Framing {
  speed_t rate;
  tcflag_t bits;
  bool operator==(const Framing&) const = default;
};

constexpr tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS;

Framing ReadFraming(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios settings{};
  tcgetattr(fd, &settings);
  close(fd);
  return {cfgetospeed(&settings), settings.c_cflag & kFramingBits};
}

// The line as another program left it: 2400 baud, 7 data bits, even parity.
void SetOtherFraming(const std::string& path) {
  const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  termios settings{};
  tcgetattr(fd, &settings);
  cfsetspeed(&settings, B2400);
  settings.c_cflag = (settings.c_cflag & ~kFramingBits) | CS7 | PARENB;
  tcsetattr(fd, TCSANOW, &settings);
  close(fd);
}

class WineCli : public Cli {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(std::system(("'" + Environment("ALDL_WINE_RUN") + "' --prepare").c_str()), 0);
  }

  WineCli() {
    for (const char* name : {"PATH", "HOME", "ALDL_WINEPREFIX"}) env_[name] = Environment(name);
    dosdevices_ = fs::path(Environment("ALDL_WINEPREFIX")) / "dosdevices";
  }

  ~WineCli() override { fs::remove(dosdevices_ / "com5"); }

  // COM5 becomes the pty.
  void LinkCom5(const PtyPair& cable) {
    fs::create_symlink(cable.SlavePath(), dosdevices_ / "com5");
    env_["ALDL_COM5"] = "COM5";
  }

  // No COM link but the test's own: Wine has put none back. The drives are C: and the root.
  void ExpectOnlyOwnLinks() const {
    for (const auto& entry : fs::directory_iterator(dosdevices_)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(!name.starts_with("com") || name == "com5" || name == "com7") << name;
    }
    EXPECT_EQ(fs::read_symlink(dosdevices_ / "c:"), "../drive_c");
    EXPECT_EQ(fs::read_symlink(dosdevices_ / "z:"), "/");
  }

  void StartExe(const std::string& commandLine) {
    ExpectOnlyOwnLinks();
    Start("'" + Environment("ALDL_WINDOWS_CLI") + "' " + commandLine, Environment("ALDL_WINE_RUN"));
  }

  int RunExe(const std::string& commandLine) {
    StartExe(commandLine);
    return Finish();
  }

  nlohmann::json Json() const { return nlohmann::json::parse(Out()); }

  fs::path dosdevices_;
};

// The simulated adaptor and car: a pty under Wine refuses 8192, so they are the proof on Windows.
TEST_F(WineCli, TheSimulatedAdaptorAndCarPassAndTheIgnitionOffSaysWhyNot) {
  EXPECT_EQ(RunExe("--simulate"), 0) << Err();
  EXPECT_TRUE(Contains(Out(), "Fast Test complete, all phases passed")) << Out();
  EXPECT_EQ(RunExe("--simulate=chatter --test car"), 0) << Err();
  EXPECT_TRUE(Contains(Out(), "Car Link Test complete, ECU F4 answered")) << Out();
  EXPECT_EQ(RunExe("--simulate=car,ignition-off --test car --ecu F4 --json"), 1) << Err();
  EXPECT_EQ(Json().at("car").at("verdict"), "only-echo");
  EXPECT_TRUE(Contains(Json().at("diagnosis").at("cause").get<std::string>(), "no computer answered ID F4"));
}

// Wine sets a rate outside its table through the kernel's custom divisor, which a pty refuses,
// and then leaves the line at 38400 while reporting success. The read-back catches it: 8192 is
// refused in words, and not one byte is sent at the wrong rate. A port that will not run 8192
// has failed.
TEST_F(WineCli, ARateThePortDidNotTakeIsRefusedAndNothingIsSent) {
  PtyPair cable(PtyPair::Mode::Echo);
  LinkCom5(cable);
  EXPECT_EQ(RunExe("--port 5 --json"), 1) << Err();
  EXPECT_EQ(Json().at("verdict"), "failed");
  EXPECT_TRUE(Contains(Err(), "Exiting the test procedure.")) << Err();
  EXPECT_EQ(cable.Echoed(), 0u);
}

// Ctrl-C in the first pause stops the run at its next check, a second one ends the program at
// once; both put the line back.
TEST_F(WineCli, CtrlCStopsTheRunAndTwiceEndsItPuttingTheLineBack) {
  for (const int presses : {1, 2}) {
    SCOPED_TRACE(presses);
    PtyPair cable(PtyPair::Mode::Echo);
    SetOtherFraming(cable.SlavePath());
    const Framing before = ReadFraming(cable.SlavePath());
    LinkCom5(cable);
    StartExe("--port 5 --baud 9600");
    ASSERT_TRUE(WaitFor("-->Enabling DTR only power...")) << Out();
    Signal(SIGINT);
    // The second press comes while the first one's notice is being written, as a user's quick
    // second press does.
    if (presses == 2 && !EndsWithin(50)) Signal(SIGINT);
    ASSERT_TRUE(WaitFor("Ctrl-C again quits at once", STDERR_FILENO)) << Err();
    EXPECT_EQ(Finish(), presses == 1 ? 2 : 128 + SIGINT) << Err();
    if (presses == 1) {
      EXPECT_TRUE(Contains(Out(), "*User Halted Test*")) << Out();
    }
    EXPECT_EQ(ReadFraming(cable.SlavePath()), before);
    fs::remove(dosdevices_ / "com5");
  }
}

TEST_F(WineCli, ListOpensOnlyTheMappedPort) {
  PtyPair cable(PtyPair::Mode::Echo);
  LinkCom5(cable);
  EXPECT_EQ(RunExe("--list --json"), 0) << Err();
  const nlohmann::json ports = Json().at("ports");
  ASSERT_EQ(ports.size(), 16u);
  for (const auto& port : ports) {
    const bool com5 = port.at("port") == 5;
    EXPECT_EQ(port.at("available"), com5) << port.dump();
    if (!com5) {
      EXPECT_TRUE(Contains(port.at("reason"), "does not exist")) << port.dump();
    }
  }
}

// The bench on COM7, plugged and pulled as Wine allows: by making and removing the dosdevices
// link while the bench runs. A live loopback passes its phases at 9600 but fails on 8192, which
// Wine 8 cannot confirm on any port (it reports 38400 for every rate outside its table); a dead
// one fails its phases. Each is logged as it is linked; a second bench is kept off the log;
// Ctrl-C during a test logs that test halted and prints the summary.
TEST_F(WineCli, TheBenchOnComSevenLogsEachAdaptorAsItIsLinked) {
  const fs::path log = fs::path(Environment("ALDL_WINEPREFIX")) / "drive_c" / "bench.csv";
  fs::remove(log);
  env_["ALDL_COM7"] = "COM7";
  const auto plug = [this](const PtyPair& cable) { fs::create_symlink(cable.SlavePath(), dosdevices_ / "com7"); };
  const auto unplug = [this] { fs::remove(dosdevices_ / "com7"); };
  PtyPair live(PtyPair::Mode::Echo), dead(PtyPair::Mode::FarEnd), halted(PtyPair::Mode::Echo);
  StartExe("--watch --port 7 --baud 9600 --log 'C:\\bench.csv'");
  ASSERT_TRUE(WaitFor("Watching for COM7")) << Out() << Err();
  plug(live);
  ASSERT_TRUE(WaitFor("=====  FAILED  =====")) << Out() << Err();
  const std::string second = Dir() + "/second";
  const int refused = std::system(("'" + Environment("ALDL_WINE_RUN") + "' '" + Environment("ALDL_WINDOWS_CLI") +
                                   "' --watch --port 8 --log 'C:\\bench.csv' >'" + second + "' 2>&1").c_str());
  EXPECT_EQ(WEXITSTATUS(refused), 64);
  EXPECT_TRUE(Contains(FileText(second), "C:\\bench.csv: another program has it open")) << FileText(second);
  unplug();
  ASSERT_TRUE(WaitFor("Unplugged; waiting for the next adaptor.")) << Out();
  plug(dead);
  ASSERT_TRUE(WaitFor("=====  FAILED  =====", STDOUT_FILENO, 2)) << Out();
  unplug();
  ASSERT_TRUE(WaitFor("Unplugged; waiting for the next adaptor.", STDOUT_FILENO, 2)) << Out();
  plug(halted);
  ASSERT_TRUE(WaitFor("-->Enabling DTR only power...", STDOUT_FILENO, 3)) << Out();
  Signal(SIGINT);
  EXPECT_EQ(Finish(), 1) << Err();
  unplug();
  EXPECT_TRUE(Contains(Out(), "Bench: 3 tested, 0 passed, 2 failed, 1 without a verdict")) << Out();
  EXPECT_GT(live.Echoed(), 0u);
  EXPECT_GT(halted.Echoed(), 0u);

  const std::vector<std::string> lines = FileLines(log.string());
  ASSERT_EQ(lines.size(), 4u) << FileText(log.string());
  EXPECT_TRUE(Contains(lines[1], ",COM7,fast,failed,,,\"The port would not take 8192 baud (afterwards the port "
                                 "reports 38400 baud)")) << lines[1];
  EXPECT_TRUE(Contains(lines[2], ",COM7,fast,failed,,9600:phase1=receive-timeout")) << lines[2];
  EXPECT_TRUE(Contains(lines[3], ",COM7,fast,halted,")) << lines[3];
  fs::remove(log);
}

}  // namespace
