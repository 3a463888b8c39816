// The window run as a program, ended as a session ends it: killed, hung up, its X server gone,
// also while a box is open or a test is running.

#include <filesystem>
#include <fstream>
#include <tuple>

#include "support/cli_process.h"
#include "support/pty_pair.h"
#include "support/x_server.h"

namespace {

using WindowProgram = Cli;

// Whether the signal is in one of the process's masks as /proc/PID/status shows them: SigIgn
// (ignored), SigCgt (caught by a handler), ShdPnd and SigPnd (sent, not yet handled).
bool InMask(pid_t pid, const std::string& mask, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(mask + ":")) return (std::stoull(line.substr(mask.size() + 1), nullptr, 16) >> (signal - 1)) & 1;
  }
  return false;
}

// Waits, within a limit that only keeps a hung program from hanging the test, until the
// signal is or is no longer in the mask.
bool WaitForMask(pid_t pid, const std::string& mask, int signal, bool in) {
  for (int tick = 0; tick < 2000; ++tick) {
    if (InMask(pid, mask, signal) == in) return true;
    usleep(10'000);
  }
  return false;
}

// What is open when the ending comes; the user's steps as xdotool takes them on the window.
enum class Open { Nothing, StartUpBox, About, RunningTest, SpeedCheck };

// A logout, a closed terminal, a lost X server or the window destroyed by another X client closes
// the window as Exit does: settings saved, line put back, whatever is open: a box, or a test
// waiting on a far end that never answers. (0 stands for the X server ended, which Qt answers by
// exiting with status 1; -1 for the window destroyed.) A second signal ends it at once, even in
// the speed check, which lets no event in: the line put back, nothing saved.
TEST_F(WindowProgram, EachEndingSavesAndPutsTheLineBack) {
  PtyPair cable;
  env_["ALDL_COM1"] = cable.SlavePath();
  env_["XDG_CONFIG_HOME"] = Dir() + "/config";
  XServer server;
  ASSERT_FALSE(server.Display().isEmpty()) << "Xvfb did not start";
  env_["DISPLAY"] = server.Display().toStdString();
  const QStringList window = {"search", "--sync", "--onlyvisible", "--name", "GM ALDL OBD1 Interface Tester"};
  const std::string settings = Dir() + "/config/ZANTRIX/ZANTRIX.ini";
  std::filesystem::create_directories(Dir() + "/config/ZANTRIX");
  const ByteBuffer before = cable.LineSettings();
  const std::tuple<const char*, Open, int> endings[] = {
      {"SIGTERM", Open::Nothing, SIGTERM},
      {"SIGHUP", Open::Nothing, SIGHUP},
      {"SIGTERM, the saved port gone and its box open at start-up", Open::StartUpBox, SIGTERM},
      {"SIGTERM, About open with a port open", Open::About, SIGTERM},
      {"SIGHUP, a test waiting for its echo", Open::RunningTest, SIGHUP},
      {"SIGTERM twice in the speed check", Open::SpeedCheck, SIGTERM},
      {"its window destroyed, a test waiting for its echo", Open::RunningTest, -1},
      {"X server lost", Open::Nothing, 0}};
  for (const auto& [name, open, ending] : endings) {
    SCOPED_TRACE(name);
    const std::string port = open == Open::StartUpBox ? " 2" : " 1";
    std::ofstream(settings) << "[SerialPortInfo]\nComPort=\"" << port << "\"\n";
    Start("", ALDL_GUI_PATH);
    if (open == Open::StartUpBox) {
      ASSERT_TRUE(server.Do({"search", "--sync", "--name", "Find SIO Ports"})) << Err();
    } else {
      for (int tick = 0; tick < 3000 && !cable.Locked(); ++tick) usleep(10'000);
      ASSERT_TRUE(cable.Locked()) << Err();
    }
    if (open == Open::About) {
      ASSERT_TRUE(server.Do(window + QStringList{"windowfocus", "--sync", "key", "alt+h", "Return"}));
      ASSERT_TRUE(server.Do({"search", "--sync", "--name", "Help About"}));
    }
    if (open == Open::RunningTest || open == Open::SpeedCheck) {
      // The middle of Start Test, below the menu bar. A click that comes before the window
      // takes input is lost, and given again; once a test runs, Start Test is disabled.
      std::size_t got = 0;
      for (int attempt = 0; attempt < 5 && got == 0; ++attempt) {
        ASSERT_TRUE(server.Do(window + QStringList{"mousemove", "--window", "%1", "200", "360", "click", "1"}));
        got = cable.Receive(256, std::chrono::seconds(4)).size();
      }
      ASSERT_EQ(got, 256u) << "no test ran";
      // Two more blocks, then the speed check's, that nothing echoes.
      if (open == Open::SpeedCheck) {
        ASSERT_EQ(cable.Receive(2 * 256 + 2048, std::chrono::seconds(20)).size(), 2 * 256 + 2048u);
      }
    }
    if (ending == 0) {
      server.End();
    } else if (ending < 0) {
      ASSERT_TRUE(server.Do(window + QStringList{"windowclose"}));
    } else {
      Signal(ending);
    }
    if (open == Open::SpeedCheck) {
      // Sent again only once the first has been taken: two pending at once are one.
      ASSERT_TRUE(WaitForMask(Pid(), "ShdPnd", ending, false) && WaitForMask(Pid(), "SigPnd", ending, false));
      Signal(ending);
    }
    EXPECT_EQ(Finish(), ending == 0 ? 1 : ending < 0 ? 0 : 128 + ending) << Err();
    const std::string saved = (std::ostringstream() << std::ifstream(settings).rdbuf()).str();
    EXPECT_EQ(Contains(saved, "[MainFormInfo]"), open != Open::SpeedCheck) << saved;
    // The port that was gone is no longer the chosen one.
    EXPECT_TRUE(Contains(saved, open == Open::StartUpBox ? "ComPort=\" 0\"" : "ComPort=\" 1\"")) << saved;
    EXPECT_EQ(cable.LineSettings(), before);
    EXPECT_FALSE(cable.Exclusive());
    EXPECT_FALSE(cable.Locked());
  }
}
// A settings store that cannot be used is said once, with why; with standard error closed the
// warning goes nowhere (not onto the line). Either way the window runs until it is ended.
TEST_F(WindowProgram, AnUnusableSettingsStoreIsSaidOnceAndNeverStopsIt) {
  PtyPair cable(PtyPair::Mode::Echo);
  env_["ALDL_COM1"] = cable.SlavePath();
  env_["XDG_CONFIG_HOME"] = "/dev/null/config";
  env_["QT_QPA_PLATFORM"] = "offscreen";
  const std::string warning =
      "aldl-tester: the settings store /dev/null/config/ZANTRIX/ZANTRIX.ini cannot be used: ";
  for (int closed : {-1, STDERR_FILENO}) {
    SCOPED_TRACE(closed == -1 ? "standard error open" : "standard error closed");
    closedStream = closed;
    Start("", ALDL_GUI_PATH);
    // The window ignores SIGPIPE, so that a write to a lost X server's socket does not end it
    // before it has saved, once its handlers for the closing signals are in place. The store
    // is first written on the way out; until then the window runs on.
    ASSERT_TRUE(WaitForMask(Pid(), "SigIgn", SIGPIPE, true)) << "SIGPIPE not ignored";
    Signal(SIGTERM);
    EXPECT_EQ(Finish(), 128 + SIGTERM);
    EXPECT_EQ(Contains(Err(), warning), closed == -1) << Err();
    EXPECT_EQ(Err().find("aldl-tester:"), Err().rfind("aldl-tester:")) << "said more than once: " << Err();
    EXPECT_EQ(cable.Echoed(), 0u);
  }
}

}  // namespace
