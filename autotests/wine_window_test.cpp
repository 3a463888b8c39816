// The Windows window, aldl-tester.exe, under Wine on an X server of its own (Xvfb), driven as a
// user drives it with xdotool: its settings in the prefix's registry, a fast test on the
// simulated adaptor, Exit; then an .msi installed over an older one with msiexec, its Start-menu
// shortcut started, and uninstalled. Built by ./build.sh windows and run from build-windows' ctest, which
// gives the programs, the prefix and tools/wine_run.sh in the environment.

#include <QProcess>
#include <csignal>
#include <QRegularExpression>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>

#include "support/cli_process.h"
#include "support/x_server.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kCaption = "GM ALDL OBD1 Interface Tester";

// How many pixels of the screen are exactly this colour, from xwd's dump of the root window
// (Xvfb's 24-bit screen: 4 bytes a pixel, blue first).
struct Colour {
  unsigned char red, green, blue;
};

int PixelsOfColour(const QString& display, Colour colour) {
  QProcess xwd;
  QProcessEnvironment environment;
  environment.insert("DISPLAY", display);
  xwd.setProcessEnvironment(environment);
  xwd.start("xwd", {"-root", "-silent"});
  if (!xwd.waitForFinished(20'000)) return -1;
  const QByteArray dump = xwd.readAllStandardOutput();

  // The header's 32-bit fields, most significant byte first.
  const auto field = [&dump](int index) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(dump.constData()) + 4 * index;
    return static_cast<int>(bytes[0] << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3]);
  };
  if (dump.size() < 100) return -1;
  const int headerSize = field(0), width = field(4), height = field(5), bytesPerLine = field(12);
  const int colours = field(19);
  const int start = headerSize + 12 * colours;
  if (bytesPerLine < 4 * width || dump.size() < start + bytesPerLine * height) return -1;
  int count = 0;
  for (int y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const unsigned char*>(dump.constData()) + start + y * bytesPerLine;
    for (int x = 0; x < width; ++x) {
      const unsigned char* pixel = row + 4 * x;
      if (pixel[2] == colour.red && pixel[1] == colour.green && pixel[0] == colour.blue) ++count;
    }
  }
  return count;
}

// Wine's server keeps the X display its first program had: it is ended before and after each
// test, so that each one's programs show on that test's own X server. (tools/wine_run.sh starts
// it again and removes its COM links before any program runs.)
void EndWineServer() {
  std::system(("WINEPREFIX='" + Environment("ALDL_WINEPREFIX") + "' wineserver -k").c_str());
}

class WineWindow : public Cli {
 protected:
  static void SetUpTestSuite() {
    ASSERT_EQ(std::system(("'" + Environment("ALDL_WINE_RUN") + "' --prepare").c_str()), 0);
  }

  void SetUp() override {
    if (Environment("ALDL_WINDOWS_GUI").empty()) GTEST_SKIP() << "no Windows window built";
    EndWineServer();
    server_.emplace(QStringList{"-screen", "0", "1024x768x24"});
    display_ = server_->Display();
    ASSERT_FALSE(display_.isEmpty()) << "Xvfb did not start";
    for (const char* name : {"PATH", "HOME", "ALDL_WINEPREFIX"}) env_[name] = Environment(name);
    env_["DISPLAY"] = display_.toStdString();
  }

  void TearDown() override {
    EndWineServer();
    server_.reset();
  }

  // A Windows program of the prefix (reg, msiexec, start) run to its end; its exit status.
  int Wine(const QStringList& arguments, QString* output = nullptr) {
    QProcess wine;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display_);
    wine.setProcessEnvironment(environment);
    wine.start(QString::fromStdString(Environment("ALDL_WINE_RUN")), arguments);
    if (!wine.waitForFinished(120'000)) return -1;
    if (output) *output = QString::fromLocal8Bit(wine.readAllStandardOutput());
    return wine.exitCode();
  }

  // Whether no window has the caption any more, waiting for it to go.
  bool WindowGone() {
    for (int tick = 0; tick < 60; ++tick) {
      if (server_->Xdotool({"search", "--onlyvisible", "--name", kCaption}) == 1) return true;
      usleep(500'000);
    }
    return false;
  }

  // The window found by its caption, then keys sent to it.
  bool Keys(const QStringList& keys) {
    return server_->Do(QStringList{"search", "--sync", "--onlyvisible", "--name", kCaption, "windowfocus",
                               "--sync", "key", "--delay", "200"} +
                   keys);
  }

  std::optional<XServer> server_;
  QString display_;
};

// Started with COM 1 saved in the registry, the window reopens it (the simulated adaptor) and
// runs a fast test from the keyboard that ends green. A logoff or shutdown then ends it as
// SIGTERM ends it on Linux: its place and port written back to the registry, the program ended
// with status 143 without waiting for its user.
TEST_F(WineWindow, ReadsItsPortFromTheRegistryPassesAFastTestAndAShutdownSavesTheSettings) {
  Wine({"reg", "delete", "HKCU\\Software\\ZANTRIX", "/f"});
  ASSERT_EQ(Wine({"reg", "add", "HKCU\\Software\\ZANTRIX\\SerialPortInfo", "/v", "ComPort", "/d", " 1", "/f"}), 0);
  Start("'" + Environment("ALDL_WINDOWS_GUI") + "' --simulate", Environment("ALDL_WINE_RUN"));
  // Start Test is the second stop of the focus order; Enter presses it.
  ASSERT_TRUE(Keys({"Tab", "Return"})) << "no window captioned " << kCaption << "\n" << Err();
  int green = 0;
  for (int tick = 0; tick < 60 && green < 1000; ++tick) {
    usleep(500'000);
    green = PixelsOfColour(display_, {0, 255, 0});
  }
  EXPECT_GE(green, 1000) << "the Test Status label did not turn green";
  EXPECT_EQ(Wine({"wineboot", "--end-session", "--shutdown", "--force"}), 0);
  EXPECT_TRUE(EndsWithin(30'000));
  EXPECT_EQ(Finish(), 128 + SIGTERM) << Err();
  QString saved;
  EXPECT_EQ(Wine({"reg", "query", "HKCU\\Software\\ZANTRIX", "/s"}, &saved), 0);
  EXPECT_TRUE(saved.contains(QRegularExpression("ComPort\\s+REG_SZ\\s+ 1"))) << saved.toStdString();
  EXPECT_TRUE(saved.contains(QRegularExpression("Left\\s+REG_SZ\\s+ ?\\d+"))) << saved.toStdString();
}

// The .msi made at two versions from the same source, the newer around programs that differ,
// and installed one over the other as a user upgrades: for this user alone, one entry among the
// installed programs, with where it is installed; both programs replaced; the Start-menu
// shortcut kept, and it opens the window; the settings kept. It uninstalls without a trace of
// the programs.
TEST_F(WineWindow, ANewerInstallerUpgradesTheOlderInPlaceAndUninstalls) {
  const fs::path built = fs::path(Environment("ALDL_WINDOWS_MSI")).parent_path();
  const fs::path made = Dir() + "/msi";
  fs::create_directories(made);
  fs::copy_file(built / "aldl-tester.ico", made / "aldl-tester.ico");
  const auto makeMsi = [&](const std::string& version, const std::string& programsEndWith) {
    for (const char* program : {"aldl-tester.exe", "aldl-tester-cli.exe"}) {
      fs::copy_file(built / program, made / program, fs::copy_options::overwrite_existing);
      std::ofstream(made / program, std::ios::app | std::ios::binary) << programsEndWith;
    }
    QProcess wixl;
    wixl.setWorkingDirectory(QString::fromStdString(made.string()));
    wixl.start("wixl", {"-a", "x64", "-D", "Version=" + QString::fromStdString(version), "-D",
                        "Icon=aldl-tester.ico", "-D", "Window=aldl-tester.exe", "-D", "Cli=aldl-tester-cli.exe",
                        "-o", QString::fromStdString(version) + ".msi",
                        QString::fromStdString(Environment("ALDL_WINDOWS_WXS"))});
    EXPECT_TRUE(wixl.waitForFinished(60'000) && wixl.exitCode() == 0) << wixl.readAllStandardError().toStdString();
    return QString::fromStdString((made / (version + ".msi")).string());
  };
  const QString older = makeMsi("1.0.0", "");
  const QString newer = makeMsi("1.0.1", "1.0.1");

  ASSERT_EQ(Wine({"msiexec", "/i", older, "/qn"}), 0);
  ASSERT_EQ(Wine({"reg", "add", "HKCU\\Software\\ZANTRIX\\SerialPortInfo", "/v", "ComPort", "/d", " 7", "/f"}), 0);
  ASSERT_EQ(Wine({"msiexec", "/i", newer, "/qn"}), 0);

  QString entries;
  Wine({"reg", "query", "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall", "/s"}, &entries);
  EXPECT_EQ(entries.count(QRegularExpression("DisplayName\\s+REG_SZ\\s+ALDL Interface Tester")), 1)
      << entries.toStdString();
  const QString ours = entries.section("ALDL Interface Tester", 1).section("HKEY_", 0, 0);
  EXPECT_TRUE(ours.contains(QRegularExpression("DisplayVersion\\s+REG_SZ\\s+1\\.0\\.1\\s")));
  EXPECT_TRUE(ours.contains(QRegularExpression(R"(InstallLocation\s+REG_SZ\s+C:\\users\\.*\\Programs\\ALDL Interface Tester\\)")))
      << ours.toStdString();
  const fs::path prefix = Environment("ALDL_WINEPREFIX");
  fs::path programs, shortcut;
  for (const auto& entry : fs::recursive_directory_iterator(prefix / "drive_c" / "users")) {
    const std::string name = entry.path().filename().string();
    if (name == "aldl-tester.exe" || name == "aldl-tester-cli.exe") {
      EXPECT_EQ(FileText(entry.path().string()), FileText((made / name).string())) << entry.path();
      programs = entry.path().parent_path();
    }
    if (name == "ALDL Interface Tester.lnk") shortcut = entry.path();
  }
  EXPECT_TRUE(programs.string().find("AppData/Local/Programs") != std::string::npos) << programs;
  ASSERT_TRUE(shortcut.string().find("Start Menu/Programs") != std::string::npos) << shortcut;
  QString saved;
  Wine({"reg", "query", "HKCU\\Software\\ZANTRIX\\SerialPortInfo"}, &saved);
  EXPECT_TRUE(saved.contains(QRegularExpression("ComPort\\s+REG_SZ\\s+ 7"))) << saved.toStdString();

  // No port saved, so that no box about a gone one comes before the window.
  Wine({"reg", "delete", "HKCU\\Software\\ZANTRIX", "/f"});
  Start("start /unix '" + shortcut.string() + "'", Environment("ALDL_WINE_RUN"));
  EXPECT_TRUE(Keys({"alt+e"})) << "the shortcut opened no window captioned " << kCaption;
  Finish();
  EXPECT_TRUE(WindowGone());

  EXPECT_EQ(Wine({"msiexec", "/x", newer, "/qn"}), 0);
  EXPECT_FALSE(fs::exists(programs / "aldl-tester.exe"));
  EXPECT_FALSE(fs::exists(shortcut));
}

}  // namespace
