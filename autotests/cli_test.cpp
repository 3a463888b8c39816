// The built aldl-tester-cli, run as a user or a script runs it.

#include <nlohmann/json.hpp>
#include <tuple>

#include "cli/exit_status.h"
#include "support/cli_process.h"
#include "support/pty_pair.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The listing's columns are padded; its words are what matters.
std::string SingleSpaced(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c != ' ' || result.empty() || result.back() != ' ') result += c;
  }
  return result;
}

// The status a script reads, for what a run found: 1 whenever a phase or the speed check failed,
// even when the run ended without a verdict.
TEST(ExitStatus, OneWheneverSomethingFailedTwoWhenNothingFailedAndNoVerdictCame) {
  const RateRecord passed{8192, {{1, PhaseOutcome::Passed}}};
  const RateRecord failed{4800, {{1, PhaseOutcome::ReceiveTimeout}}};
  const SpeedRecord slow{SpeedOutcome::OutOfRange, 7500.0f};
  const std::tuple<const char*, RunRecord, int> records[] = {
      {"all passed", {{passed}, SpeedRecord{SpeedOutcome::Passed, 8192.0f}, Verdict::Passed}, 0},
      {"a phase failed", {{failed, passed}, std::nullopt, Verdict::Failed}, 1},
      {"the speed check failed", {{passed}, slow, Verdict::Failed}, 1},
      {"a rate refused after a failed phase", {{failed}, std::nullopt, Verdict::RateRefused}, 1},
      {"a rate refused", {{passed}, std::nullopt, Verdict::RateRefused}, 2},
      {"halted", {{passed}, std::nullopt, Verdict::Halted}, 2}};
  for (const auto& [name, record, status] : records) {
    EXPECT_EQ(ExitStatusOf(record), status) << name;
  }
}

// One JSON object on stdout and the exit status for each way a run ends, with the report on
// stderr saying why.
TEST_F(Cli, ExitStatusAndJsonForEachEnding) {
  PtyPair cable(PtyPair::Mode::Echo);
  env_["ALDL_COM2"] = cable.SlavePath();
  const std::tuple<const char*, std::string, int, std::string, std::string> runs[] = {
      {"good adaptor on a looped-back tty", "--port 2", 0, "passed", " >>DTR Power Phase1 Test Passed\n"},
      {"cable pulled", "--simulate=unplug=100", 1, "failed", " >>COM port is not open, Phase1 failed"},
      {"rate refused", "--simulate=std-rates", 2, "rate-refused", "Exiting the test procedure."},
      {"missing port", "--port 3", 2, "port-not-opened", Missing(3) + " does not exist"},
      {"path not UTF-8", "--device " + Missing(1) + "\xff\xfe", 2, "port-not-opened", "does not exist"},
      {"bad usage", "--simulate --baud 0", 64, "bad-usage", "--baud: 0 is not a rate"}};
  for (const auto& [name, commandLine, status, verdict, said] : runs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Run(commandLine + " --json"), status) << Err();
    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(Out())) << Out();
    EXPECT_EQ(json.at("verdict"), verdict);
    EXPECT_TRUE(Contains(Err(), said)) << Err();
    EXPECT_EQ(json.contains("error"), verdict == "port-not-opened" || verdict == "bad-usage");
    if (status > 1) continue;
    EXPECT_EQ(json.at("identity").at("kind"), status == 0 ? "pty" : "simulated");
    const auto& phases = json.at("rates").at(0).at("phases");
    ASSERT_EQ(phases.size(), 3u);
    for (const auto& phase : phases) {
      EXPECT_EQ(phase.at("outcome"), status == 0 ? "passed" : "port-not-open");
    }
  }
}

// Killed, hung up, its pipe closed, Ctrl-C twice: the line is as it was found. A closed
// standard stream must not become the serial line: the far end gets the test bytes only.
TEST_F(Cli, EveryEndingPutsTheLineBackAndClosedStreamsKeepTheReportOffIt) {
  const int none = -1;
  const std::tuple<const char*, const char*, int, std::string, int, std::vector<int>> endings[] = {
      {"SIGTERM, stdout closed", "", STDOUT_FILENO, "Test Status: Phase1 Passed", STDERR_FILENO, {SIGTERM}},
      {"SIGHUP, stderr closed", "", STDERR_FILENO, "Phase1 Test Passed", STDOUT_FILENO, {SIGHUP}},
      {"SIGPIPE, --json and stdout closed", " --json", STDOUT_FILENO, "Phase1 Test Passed",
       STDERR_FILENO, {SIGPIPE}},
      {"Ctrl-C twice", "", none, "Phase1 Test Passed", STDOUT_FILENO, {SIGINT, SIGINT}}};
  for (const auto& [name, json, closed, passed, shown, signals] : endings) {
    SCOPED_TRACE(name);
    PtyPair cable(PtyPair::Mode::Echo);
    const ByteBuffer before = cable.LineSettings();
    env_["ALDL_COM1"] = cable.SlavePath();
    closedStreams = {closed};
    Start(std::string("--port 1") + json);
    ASSERT_TRUE(WaitFor(passed, shown));
    EXPECT_EQ(cable.Echoed(), 256u);
    for (int signal : signals) {
      Signal(signal);
      if (signal == SIGINT) {
        ASSERT_TRUE(WaitFor("Ctrl-C again quits at once", STDERR_FILENO));
      }
    }
    EXPECT_EQ(Finish(), 128 + signals.front());
    EXPECT_FALSE(Contains(Out(), "*User Halted Test*"));
    EXPECT_EQ(cable.LineSettings(), before);
    EXPECT_FALSE(cable.Exclusive());
    EXPECT_FALSE(cable.Locked());
  }
}

TEST_F(Cli, CtrlCInTheFirstPauseHaltsTheTest) {
  Start("--simulate --test extended");
  ASSERT_TRUE(WaitFor("-->Enabling DTR only power..."));
  Signal(SIGINT);
  EXPECT_EQ(Finish(), 2);
  EXPECT_TRUE(Out().starts_with("Executing Extended Test procedure\nSetting Baud to  4800:"));
  EXPECT_TRUE(Contains(Out(), " >>DTR Power Phase1 Test Passed\n"));
  EXPECT_TRUE(Out().ends_with("\n*User Halted Test*\n")) << Out();
}

TEST_F(Cli, ListShowsEachPortWithWhatItIsAndWhyItCannotBeOpened) {
  PtyPair pty;
  const std::string ptyName = "pts/" + pty.SlavePath().substr(pty.SlavePath().rfind('/') + 1);
  env_["ALDL_COM2"] = pty.SlavePath();
  env_["ALDL_COM3"] = "/dev/null";
  EXPECT_EQ(Run("--list --simulate"), 0) << Err();
  std::string table = "PORT DEVICE OPENS WHAT IT IS\nCOM 1 sim yes simulated adaptor\n";
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
  const std::tuple<bool, std::string> expected[] = {
      {true, "simulated"}, {true, "pty"}, {false, "not-serial"}, {false, "missing"}};
  for (int port = 1; const auto& [available, kind] : expected) {
    const auto& entry = list.at(port - 1);
    EXPECT_EQ(entry.at("port"), port++);
    EXPECT_EQ(entry.at("available"), available);
    EXPECT_EQ(entry.at("reason").is_null(), available);
    EXPECT_EQ(entry.at("identity").at("kind"), kind);
  }
  EXPECT_EQ(list.at(1).at("identity").at("name"), ptyName);
  EXPECT_TRUE(list.at(1).at("identity").at("vendor_id").is_null());
}

// The program runs on a pty of the test's, which it refuses to test on without writing a byte to
// it. (/dev/tty and /dev/ptmx are refused as the device tests show.)
TEST_F(Cli, TheTerminalItRunsOnIsRefused) {
  PtyPair terminal;
  terminal_ = terminal.SlavePath();
  EXPECT_EQ(Run("--device " + terminal_), 2);
  EXPECT_TRUE(Contains(Err(), "cannot open COM 1: " + terminal_ +
                                  " is the terminal this program runs on, not a serial line\n"))
      << Err();
  EXPECT_TRUE(Out().empty()) << Out();
  EXPECT_TRUE(terminal.Receive(1, std::chrono::milliseconds(0)).empty());
}

TEST_F(Cli, BadUsageSaysWhatWasWrongAndExits64) {
  const std::pair<std::string, std::string> misuses[] = {
      {"", "say where to test: --port N, --device PATH or --simulate"},
      {"--port 17", "--port: 17 is not a COM number: give 1 to 16"},
      {"--simulate --test slow", "--test: slow is not a test: choose fast or extended"},
      {"--list --port 2", "--port excludes --list"},
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
