// The window run as a program, ended as a session ends it: killed, hung up, its X server gone.

#include <cstring>
#include <filesystem>
#include <fstream>

#include "support/cli_process.h"
#include "support/pty_pair.h"

namespace {

using WindowProgram = Cli;

// A logout, a closed terminal or a lost X server closes the window as Exit does: settings saved,
// line put back. (0 stands for the X server ended, which Qt answers by exiting with status 1.)
TEST_F(WindowProgram, EachEndingSavesAndPutsTheLineBack) {
  PtyPair cable(PtyPair::Mode::Echo);
  env_["ALDL_COM1"] = cable.SlavePath();
  env_["XDG_CONFIG_HOME"] = Dir() + "/config";
  QProcess server;
  server.start("Xvfb", {"-displayfd", "1", "-nolisten", "tcp"});
  ASSERT_TRUE(server.waitForReadyRead(20'000)) << "Xvfb did not start";
  env_["DISPLAY"] = ":" + server.readLine().trimmed().toStdString();
  const std::string settings = Dir() + "/config/ZANTRIX/ZANTRIX.ini";
  std::filesystem::create_directories(Dir() + "/config/ZANTRIX");
  const ByteBuffer before = cable.LineSettings();
  for (int ending : {SIGTERM, SIGHUP, 0}) {
    SCOPED_TRACE(ending == 0 ? "X server lost" : strsignal(ending));
    std::ofstream(settings) << "[SerialPortInfo]\nComPort=\" 1\"\n";
    Start("", ALDL_GUI_PATH);
    for (int tick = 0; tick < 3000 && !cable.Locked(); ++tick) usleep(10'000);
    ASSERT_TRUE(cable.Locked()) << Err();
    if (ending == 0) {
      server.terminate();
    } else {
      Signal(ending);
    }
    EXPECT_EQ(Finish(), ending == 0 ? 1 : 128 + ending) << Err();
    const std::string saved = (std::ostringstream() << std::ifstream(settings).rdbuf()).str();
    EXPECT_TRUE(Contains(saved, "[MainFormInfo]") && Contains(saved, "ComPort=\" 1\"")) << saved;
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
    // The store is first written on the way out; until then the window runs on.
    usleep(300'000);
    Signal(SIGTERM);
    EXPECT_EQ(Finish(), 128 + SIGTERM);
    EXPECT_EQ(Contains(Err(), warning), closed == -1) << Err();
    EXPECT_EQ(Err().find("aldl-tester:"), Err().rfind("aldl-tester:")) << "said more than once: " << Err();
    EXPECT_EQ(cable.Echoed(), 0u);
  }
}

}  // namespace
