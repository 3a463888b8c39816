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

// One JSON object and the exit status for each way a run can end without passing: 1 whenever a
// phase failed, 2 only when nothing failed and no verdict came.
TEST_F(Cli, ExitStatusAndJsonForEachEnding) {
  const std::string notUtf8 = Missing(1) + "\xff\xfe";
  const std::tuple<std::string, int, std::string, std::string> runs[] = {
      {"--simulate=std-rates --json", 2, "rate-refused", "Exiting the test procedure."},
      {"--simulate=std-rates,no-dtr --test extended --json", 1, "rate-refused",
       "Setting Baud to  8192:Failed to set COM baud rate."},
      {"--simulate=unplug=2000 --test extended --json", 1, "failed",
       "Setting Baud to  8192: >>COM port is not open\n"},
      {"--port 3 --json", 2, "port-not-opened", Missing(3) + " does not exist"},
      {"--device " + notUtf8 + " --json", 2, "port-not-opened", "does not exist"},
      {"--simulate --baud 0 --json", 64, "bad-usage", "--baud: 0 is not a rate"}};
  for (const auto& [commandLine, status, verdict, said] : runs) {
    EXPECT_EQ(Run(commandLine), status) << commandLine << Err();
    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(Out())) << commandLine << Out();
    EXPECT_EQ(json.at("verdict"), verdict) << commandLine;
    EXPECT_TRUE(Contains(Err(), said)) << commandLine << Err();
    EXPECT_EQ(json.contains("error"), verdict == "port-not-opened" || verdict == "bad-usage")
        << commandLine;
  }
}

// Killed, hung up, its pipe closed, Ctrl-C twice: the line is as it was found.
TEST_F(Cli, EveryEndingPutsTheLineBack) {
  const std::tuple<const char*, std::vector<int>, int> endings[] = {
      {"SIGTERM", {SIGTERM}, 128 + SIGTERM},
      {"SIGHUP", {SIGHUP}, 128 + SIGHUP},
      {"SIGPIPE", {SIGPIPE}, 128 + SIGPIPE},
      {"Ctrl-C twice", {SIGINT, SIGINT}, 128 + SIGINT}};
  for (const auto& [name, signals, status] : endings) {
    PtyPair cable(PtyPair::Mode::Echo);
    const ByteBuffer before = cable.LineSettings();
    env_["ALDL_COM1"] = cable.SlavePath();
    Start("--port 1");
    ASSERT_TRUE(WaitFor("-->Enabling DTR only power...")) << name;
    for (int signal : signals) {
      Signal(signal);
      if (signal == SIGINT) {
        ASSERT_TRUE(WaitFor("Stopping at the test's next check", STDERR_FILENO));
      }
    }
    EXPECT_EQ(Finish(), status) << name;
    EXPECT_EQ(cable.LineSettings(), before) << name;
    EXPECT_FALSE(cable.Exclusive()) << name;
    EXPECT_FALSE(cable.Locked()) << name;
  }
}

// A closed standard stream must not become the serial line: the far end gets the test bytes
// and nothing else.
TEST_F(Cli, ClosedStandardStreamsKeepTheReportOffTheLine) {
  const std::string caption = "Test Status: Phase1 Passed", report = "Phase1 Test Passed";
  const std::tuple<int, const char*, std::string, int> cases[] = {
      {STDOUT_FILENO, "--port 1", caption, STDERR_FILENO},
      {STDERR_FILENO, "--port 1", report, STDOUT_FILENO},
      {STDOUT_FILENO, "--port 1 --json", report, STDERR_FILENO}};
  for (const auto& [closed, commandLine, passed, shown] : cases) {
    PtyPair cable(PtyPair::Mode::Echo);
    env_["ALDL_COM1"] = cable.SlavePath();
    closedStreams = {closed};
    Start(commandLine);
    ASSERT_TRUE(WaitFor(passed, shown)) << commandLine << " with " << closed << " closed";
    EXPECT_EQ(cable.Echoed(), 256u) << commandLine << " with " << closed << " closed";
    Signal(SIGTERM);
    EXPECT_EQ(Finish(), 128 + SIGTERM);
  }
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

TEST_F(Cli, BadUsageSaysWhatWasWrongAndExits64) {
  const std::pair<std::string, std::string> misuses[] = {
      {"", "say where to test: --port N, --device PATH or --simulate"},
      {"--port 17", "--port: 17 is not a COM number: give 1 to 16"},
      {"--port abc", "--port: abc is not a COM number: give 1 to 16"},
      {"--simulate --test slow", "--test: slow is not a test: choose fast or extended"},
      {"--simulate --test 1", "--test: 1 is not a test: choose fast or extended"},
      {"--simulate --port 2", "--port excludes --simulate"},
      {"--list --port 2", "--port excludes --list"},
      {"--simulate --baud 0", "--baud: 0 is not a rate: give a whole number of baud above 0"},
      {"--simulate=bogus", "not a simulated adaptor fault: \"bogus\""},
      {"--simulate=dead,", "a fault is missing between two commas or at an end"},
      {"--frobnicate", "--frobnicate"}};
  for (const auto& [misuse, said] : misuses) {
    EXPECT_EQ(Run(misuse), 64) << misuse;
    EXPECT_TRUE(Out().empty()) << misuse;
    EXPECT_TRUE(Err().starts_with("aldl-tester-cli: ") && Contains(Err(), said)) << misuse << Err();
  }
  EXPECT_EQ(Run("--help"), 0);
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_TRUE(Out().starts_with("aldl-tester-cli ") && Out().ends_with("\n")) << Out();
}

}  // namespace
