// The window run as a program, ended as a session ends it: killed, hung up, its X server gone.

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/cli_process.h"
#include "support/pty_pair.h"

namespace {

// The window on a looped-back pty saved as COM 1, its settings in the test's folder.
class WindowProgram : public Cli {
 protected:
  WindowProgram() {
    env_["ALDL_COM1"] = cable.SlavePath();
    env_["XDG_CONFIG_HOME"] = Dir() + "/config";
    env_["QT_QPA_PLATFORM"] = "offscreen";
  }

  // Starts the window, with COM 1 saved, and waits until it holds the line.
  void StartHoldingTheLine() {
    std::filesystem::create_directories(Dir() + "/config/ZANTRIX");
    std::ofstream(Settings()) << "[SerialPortInfo]\nComPort=\" 1\"\n";
    Start("", ALDL_GUI_PATH);
    for (int tick = 0; tick < 3000 && !cable.Locked(); ++tick) usleep(10'000);
    ASSERT_TRUE(cable.Locked()) << Err();
  }
  std::string Settings() const { return Dir() + "/config/ZANTRIX/ZANTRIX.ini"; }

  // What the window saved on its way out, and the line as it was found.
  void ExpectSavedAndTheLineAsFound(const ByteBuffer& before) {
    const std::string saved = (std::ostringstream() << std::ifstream(Settings()).rdbuf()).str();
    EXPECT_NE(saved.find("[MainFormInfo]"), std::string::npos) << saved;
    EXPECT_NE(saved.find("ComPort=\" 1\""), std::string::npos) << saved;
    EXPECT_EQ(cable.LineSettings(), before);
    EXPECT_FALSE(cable.Exclusive());
    EXPECT_FALSE(cable.Locked());
  }

  PtyPair cable{PtyPair::Mode::Echo};
};

// A logout or a closed terminal closes the window as Exit does: settings saved, line put back.
TEST_F(WindowProgram, TermAndHangUpCloseItAsExitDoes) {
  for (int signal : {SIGTERM, SIGHUP}) {
    SCOPED_TRACE(strsignal(signal));
    const ByteBuffer before = cable.LineSettings();
    StartHoldingTheLine();
    Signal(signal);
    EXPECT_EQ(Finish(), 128 + signal) << Err();
    ExpectSavedAndTheLineAsFound(before);
  }
}

// A settings store that cannot be used is said once, with why; with standard error closed the
// warning goes nowhere. Either way the window runs until it is ended.
TEST_F(WindowProgram, AnUnusableSettingsStoreIsSaidOnceAndNeverStopsIt) {
  env_["XDG_CONFIG_HOME"] = "/dev/null/config";
  const std::string warning =
      "aldl-tester: the settings store /dev/null/config/ZANTRIX/ZANTRIX.ini cannot be used: ";
  for (bool errorClosed : {false, true}) {
    SCOPED_TRACE(errorClosed ? "standard error closed" : "standard error open");
    std::filesystem::remove(Dir() + "/fd2");
    closedStreams = errorClosed ? std::set<int>{STDERR_FILENO} : std::set<int>{};
    Start("", ALDL_GUI_PATH);
    // The store is first written on the way out; until then the window runs on.
    usleep(300'000);
    Signal(SIGTERM);
    EXPECT_EQ(Finish(), 128 + SIGTERM);
    const std::string said = Err();
    const auto first = said.find(warning);
    EXPECT_EQ(first == std::string::npos, errorClosed) << said;
    if (!errorClosed) {
      EXPECT_EQ(said.find("aldl-tester:", first + 1), std::string::npos) << said;
    }
    EXPECT_EQ(cable.Echoed(), 0u);
  }
}

// Losing the X server ends the window, which still saves its settings and puts its line back.
TEST_F(WindowProgram, LosingTheXServerStillSavesAndPutsTheLineBack) {
  if (!std::filesystem::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
  const std::string display = ":" + std::to_string(90 + getpid() % 100);
  const pid_t server = fork();
  if (server == 0) {
    execl("/usr/bin/Xvfb", "Xvfb", display.c_str(), "-nolisten", "tcp", nullptr);
    _exit(127);
  }
  const std::string socket = "/tmp/.X11-unix/X" + display.substr(1);
  for (int tick = 0; tick < 1000 && !std::filesystem::exists(socket); ++tick) usleep(10'000);
  env_.erase("QT_QPA_PLATFORM");
  env_["DISPLAY"] = display;
  const ByteBuffer before = cable.LineSettings();
  StartHoldingTheLine();
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  EXPECT_EQ(Finish(), 1) << Err();
  ExpectSavedAndTheLineAsFound(before);
}

}  // namespace
