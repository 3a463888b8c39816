// The window run as a program, ended as a session ends it: killed, hung up, its X server gone.

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
    std::filesystem::create_directories(Dir() + "/config/ZANTRIX");
    std::ofstream(Dir() + "/config/ZANTRIX/ZANTRIX.ini") << "[SerialPortInfo]\nComPort=\" 1\"\n";
  }

  // Starts the window and waits until it holds the line.
  void StartHoldingTheLine() {
    Start("", ALDL_GUI_PATH);
    for (int tick = 0; tick < 3000 && !cable.Locked(); ++tick) usleep(10'000);
    ASSERT_TRUE(cable.Locked()) << Err();
  }

  std::string Settings() const {
    return (std::ostringstream() << std::ifstream(Dir() + "/config/ZANTRIX/ZANTRIX.ini").rdbuf())
        .str();
  }

  void ExpectLineAsFound(const ByteBuffer& before) {
    EXPECT_EQ(cable.LineSettings(), before);
    EXPECT_FALSE(cable.Exclusive());
    EXPECT_FALSE(cable.Locked());
  }

  PtyPair cable{PtyPair::Mode::Echo};
};

// A logout or a closed terminal closes the window as Exit does: settings saved, line put back.
TEST_F(WindowProgram, TermAndHangUpCloseItAsExitDoes) {
  for (int signal : {SIGTERM, SIGHUP}) {
    const ByteBuffer before = cable.LineSettings();
    StartHoldingTheLine();
    Signal(signal);
    EXPECT_EQ(Finish(), 128 + signal) << Err();
    EXPECT_NE(Settings().find("[MainFormInfo]"), std::string::npos) << Settings();
    EXPECT_NE(Settings().find("ComPort=\" 1\""), std::string::npos) << Settings();
    ExpectLineAsFound(before);
    std::filesystem::remove(Dir() + "/config/ZANTRIX/ZANTRIX.ini");
    std::ofstream(Dir() + "/config/ZANTRIX/ZANTRIX.ini") << "[SerialPortInfo]\nComPort=\" 1\"\n";
  }
}

// A settings store that cannot be used is said once, with why; with standard error closed the
// warning goes nowhere rather than into the X connection or the line.
TEST_F(WindowProgram, AnUnusableSettingsStoreIsSaidOnceAndNeverStopsIt) {
  env_["XDG_CONFIG_HOME"] = "/dev/null/config";
  for (bool errorClosed : {false, true}) {
    const ByteBuffer before = cable.LineSettings();
    closedStreams = errorClosed ? std::set<int>{STDERR_FILENO} : std::set<int>{};
    Start("", ALDL_GUI_PATH);
    usleep(1'000'000);
    Signal(SIGTERM);
    EXPECT_EQ(Finish(), 128 + SIGTERM);
    ExpectLineAsFound(before);
    if (!errorClosed) {
      const std::string said = Err();
      const std::string warning =
          "aldl-tester: the settings store /dev/null/config/ZANTRIX/ZANTRIX.ini cannot be used: ";
      const auto first = said.find(warning);
      ASSERT_NE(first, std::string::npos) << said;
      EXPECT_EQ(said.find("aldl-tester:", first + 1), std::string::npos) << said;
    }
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
  EXPECT_NE(Settings().find("[MainFormInfo]"), std::string::npos) << Settings();
  ExpectLineAsFound(before);
}

}  // namespace
