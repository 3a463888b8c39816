// The built aldl-tester-cli, run as a user or a script runs it.

#include <cmath>
#include <nlohmann/json.hpp>
#include <tuple>

#include "support/cli_process.h"
#include "support/pty_pair.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST_F(Cli, GoodAdaptorPasses) {
  EXPECT_EQ(Run("--simulate"), 0) << Err();
  EXPECT_TRUE(Out().ends_with("\n\nFast Test complete, all phases passed\n")) << Out();
}

TEST_F(Cli, NoVerdictWhenTheRateIsRefusedOrThePortIsMissing) {
  EXPECT_EQ(Run("--simulate=std-rates"), 2);
  EXPECT_TRUE(Out().ends_with("set-up\n\nExiting the test procedure.\n")) << Out();
  EXPECT_EQ(Run("--port 3"), 2);
  EXPECT_TRUE(Contains(Err(), "COM 3: " + Missing(3) + " does not exist\n")) << Err();
}

// How the report words each outcome of a phase.
// The listing's columns are padded; its words are what matters.
std::string SingleSpaced(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c != ' ' || result.empty() || result.back() != ' ') result += c;
  }
  return result;
}

std::string PhaseInReport(const std::string& outcome, int phase) {
  const std::string name = "Phase" + std::to_string(phase);
  if (outcome == "passed") return " >>DTR Power " + name + " Test Passed\n";
  if (outcome == "transmit-timeout") return "Timeout error transmitting data. " + name + " failed";
  if (outcome == "receive-timeout") return "Timeout error receiving data, " + name + " failed";
  return outcome == "compare-error" ? "Error Comparing data, " + name + " failed" : outcome;
}

// With --json stdout holds only the object, and the report on stderr says the same.
TEST_F(Cli, FailingAdaptorsExitOneAndTheJsonAgreesWithTheReport) {
  const std::tuple<std::string, int, std::string> runs[] = {
      {"--simulate=dead --baud 9600 --json", 9600, "no-data"},
      {"--simulate=rate=7500 --json", 8192, "out-of-range"}};
  for (const auto& [commandLine, rate, speed] : runs) {
    EXPECT_EQ(Run(commandLine), 1) << commandLine << Err();
    const auto json = nlohmann::json::parse(Out());
    const std::string report = Err();
    EXPECT_EQ(json.at("verdict"), "failed");
    EXPECT_EQ(json.at("identity").at("description"), "simulated adaptor");
    EXPECT_TRUE(Contains(report, "\nFast Test complete, errors occurred\n")) << report;
    EXPECT_EQ(json.at("rates").at(0).at("rate"), rate);
    ASSERT_EQ(json.at("rates").at(0).at("phases").size(), 3u);
    for (const auto& phase : json.at("rates").at(0).at("phases")) {
      EXPECT_TRUE(Contains(report, PhaseInReport(phase.at("outcome"), phase.at("phase"))));
    }
    EXPECT_EQ(json.at("speed").at("outcome"), speed);
    const std::string label = "\n   Measured   ";
    const auto at = report.find(label);
    ASSERT_EQ(at != std::string::npos, speed == "out-of-range");
    const std::string figure =
        at == std::string::npos ? "" : report.substr(at + label.size(),
                                                      report.find('\n', at + 1) - at - label.size());
    const auto& measured = json.at("speed").at("measured_rate");
    EXPECT_EQ(measured.is_null() ? "" : std::to_string(std::llround(measured.get<double>())),
              figure);
  }
}

TEST_F(Cli, CtrlCInTheFirstPauseHaltsTheTestAndASecondEndsItAtOnce) {
  Start("--simulate --test extended");
  ASSERT_TRUE(WaitFor("-->Enabling DTR only power..."));
  Signal(SIGINT);
  EXPECT_EQ(Finish(), 2);
  EXPECT_TRUE(Out().starts_with("Executing Extended Test procedure\nSetting Baud to  4800:"));
  EXPECT_TRUE(Contains(Out(), " >>DTR Power Phase1 Test Passed\n"));
  EXPECT_TRUE(Out().ends_with("\n*User Halted Test*\n")) << Out();

  Start("--simulate");
  ASSERT_TRUE(WaitFor("-->Enabling DTR only power..."));
  Signal(SIGINT);
  ASSERT_TRUE(WaitFor("Ctrl-C again quits at once", STDERR_FILENO));
  Signal(SIGINT);
  EXPECT_EQ(Finish(), 128 + SIGINT);
  EXPECT_FALSE(Contains(Out(), "*User Halted Test*"));
}

TEST_F(Cli, ListShowsEachPortWithWhatItIsAndWhyItCannotBeOpened) {
  PtyPair pty;
  const std::string ptyName = "pts/" + pty.SlavePath().substr(pty.SlavePath().rfind('/') + 1);
  env_["ALDL_COM2"] = pty.SlavePath();
  env_["ALDL_COM3"] = "/dev/null";
  EXPECT_EQ(Run("--list --simulate"), 0) << Err();
  std::string table = "PORT DEVICE OPENS WHAT IT IS\n";
  table += "COM 1 sim yes simulated adaptor\n";
  table += "COM 2 " + pty.SlavePath() + " yes pseudo-terminal " + ptyName + "\n";
  table += "COM 3 /dev/null no not a serial line (null)\n";
  table += " /dev/null is a character device but not a terminal, so not a serial device\n";
  for (int n = 4; n <= 16; ++n) {
    table += "COM " + std::to_string(n) + " " + Missing(n) + " no " + Missing(n) + " does not exist\n";
  }
  EXPECT_EQ(SingleSpaced(Out()), table);

  EXPECT_EQ(Run("--list --json --simulate"), 0) << Err();
  const auto list = nlohmann::json::parse(Out()).at("ports");
  ASSERT_EQ(list.size(), 16u);
  const std::tuple<int, std::string, bool, std::string> expected[] = {
      {1, "sim", true, "simulated"},
      {2, pty.SlavePath(), true, "pty"},
      {3, "/dev/null", false, "not-serial"},
      {4, Missing(4), false, "missing"}};
  for (const auto& [port, device, available, kind] : expected) {
    const auto& entry = list.at(port - 1);
    EXPECT_EQ(entry.at("port"), port);
    EXPECT_EQ(entry.at("device"), device);
    EXPECT_EQ(entry.at("available"), available);
    EXPECT_EQ(entry.at("reason").is_null(), available);
    EXPECT_EQ(entry.at("identity").at("kind"), kind) << port;
  }
  EXPECT_EQ(list.at(1).at("identity").at("name"), ptyName);
  EXPECT_TRUE(list.at(1).at("identity").at("vendor_id").is_null());
}

// The program runs on a pty of the test's: neither that terminal, nor /dev/tty standing for it,
// nor /dev/ptmx is tested on, and not a byte reaches the terminal.
TEST_F(Cli, TheTerminalItRunsOnAndThePtyMultiplexerAreRefused) {
  PtyPair terminal;
  terminal_ = terminal.SlavePath();
  const std::pair<std::string, std::string> refusals[] = {
      {terminal.SlavePath(), " is the terminal this program runs on, not a serial line"},
      {"/dev/tty", " stands for the terminal of whoever runs this program, not a serial line"},
      {"/dev/ptmx", " is the pseudo-terminal multiplexer: opening it would create a new "
                    "pseudo-terminal, not reach a serial line"}};
  for (const auto& [device, reason] : refusals) {
    EXPECT_EQ(Run("--device " + device), 2) << device;
    EXPECT_TRUE(Contains(Err(), "cannot open COM 1: " + device + reason + "\n")) << Err();
    EXPECT_TRUE(Out().empty()) << Out();
  }
  EXPECT_TRUE(terminal.Receive(1, std::chrono::milliseconds(0)).empty());
}

TEST_F(Cli, BadUsageExits64AndHelpAndVersionExit0) {
  for (const std::string misuse :
       {"", "--port 17", "--port two", "--simulate --test slow", "--simulate --port 2",
        "--list --port 2", "--simulate --baud 0", "--simulate=bogus", "--frobnicate"}) {
    EXPECT_EQ(Run(misuse), 64) << misuse;
    EXPECT_TRUE(Out().empty() && !Err().empty()) << misuse;
  }
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_TRUE(Out().starts_with("aldl-tester-cli ") && Out().ends_with("\n")) << Out();
}

}  // namespace
