// The built aldl-tester-cli, run as a user or a script runs it.

#include <QRegularExpression>
#include <nlohmann/json.hpp>
#include <tuple>
#include <vector>

#include "cli/exit_status.h"
#include "support/cli_process.h"
#include "support/open_watch.h"
#include "support/pty_pair.h"

namespace {

// 1 whenever a phase or the speed check failed, even when the run ended without a verdict. (The
// runs below read the other statuses from the program.)
TEST(ExitStatus, OneWheneverSomethingFailedEvenWithoutAVerdict) {
  const RateRecord failed{4800, {{1, PhaseOutcome::ReceiveTimeout}}};
  EXPECT_EQ(ExitStatusOf({{failed}, std::nullopt, Verdict::RateRefused}), 1);
  EXPECT_EQ(ExitStatusOf({{}, SpeedRecord{SpeedOutcome::OutOfRange, 7500.0f}, Verdict::Halted}), 1);
}

// One JSON object on stdout and the exit status for each way the program ends without a run
// (cli_fake_clock_test.cpp has the runs), with the reason on stderr. The program has a pty of
// the test's as its terminal, which it refuses to test on without writing a byte to it.
TEST_F(Cli, ExitStatusAndJsonForEachEndingWithoutARun) {
  PtyPair terminal;
  terminal_ = terminal.SlavePath();
  const std::tuple<const char*, std::string, int, std::string, std::string> runs[] = {
      {"missing port", "--port 3", 2, "port-not-opened", Missing(3) + " does not exist"},
      {"path not UTF-8", "--device " + Missing(1) + "$(printf '\\377\\376')", 2, "port-not-opened",
       Missing(1) + "\xff\xfe does not exist"},
      {"its own terminal", "--device " + terminal_, 2, "port-not-opened",
       terminal_ + " is the terminal this program runs on, not a serial line\n"},
      {"a rate too slow for the test", "--simulate --baud 300", 64, "bad-usage",
       "--baud: 300 is not a rate of the Baud Select menu: give 1200, 2400, 4800, 8192, 9600, 19200, 57600 "
       "or 115200"}};
  for (const auto& [name, commandLine, status, verdict, said] : runs) {
    SCOPED_TRACE(name);
    EXPECT_EQ(Run(commandLine + " --json"), status) << Err();
    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(Out())) << Out();
    EXPECT_EQ(json.at("verdict"), verdict);
    EXPECT_TRUE(Contains(Err(), said)) << Err();
    EXPECT_TRUE(json.contains("error"));
  }
  EXPECT_TRUE(terminal.Receive(1, std::chrono::milliseconds(0)).empty());
}

// Killed, hung up, its pipe closed, Ctrl-C twice, or any other signal that ends a program: the
// line is as it was found. A closed standard stream must not become the serial line: the far
// end gets the test bytes only. (Phase 1 at 115200 baud only comes sooner.)
TEST_F(Cli, EveryEndingPutsTheLineBackAndClosedStreamsKeepTheReportOffIt) {
  const std::tuple<const char*, const char*, int, std::vector<int>> endings[] = {
      {"SIGTERM, stdout closed", "", STDOUT_FILENO, {SIGTERM}},
      {"SIGHUP, stderr closed", "", STDERR_FILENO, {SIGHUP}},
      {"SIGPIPE, --json and stdout closed", " --json", STDOUT_FILENO, {SIGPIPE}},
      {"Ctrl-C twice", "", -1, {SIGINT, SIGINT}},
      {"SIGUSR1", "", -1, {SIGUSR1}},
      {"SIGXCPU, which dumps core", "", -1, {SIGXCPU}},
      {"a real-time signal", "", -1, {SIGRTMIN + 5}}};
  for (const auto& [name, json, closed, sent] : endings) {
    SCOPED_TRACE(name);
    PtyPair cable(PtyPair::Mode::Echo);
    const ByteBuffer before = cable.LineSettings();
    env_["ALDL_COM1"] = cable.SlavePath();
    closedStream = closed;
    Start(std::string("--port 1 --baud 115200") + json);
    // Phase 1 passed: its report line on stdout, its caption on stderr.
    ASSERT_TRUE(WaitFor("Passed", closed == STDERR_FILENO ? STDOUT_FILENO : STDERR_FILENO));
    EXPECT_EQ(cable.Echoed(), 256u);
    for (int signal : sent) {
      Signal(signal);
      ASSERT_TRUE(signal != SIGINT || WaitFor("Ctrl-C again quits at once", STDERR_FILENO));
    }
    EXPECT_EQ(Finish(), 128 + sent.front());
    EXPECT_TRUE(Signalled());
    EXPECT_EQ(cable.LineSettings(), before);
    EXPECT_FALSE(cable.Exclusive());
    EXPECT_FALSE(cable.Locked());
  }
}

// On a car whose other modules were asked to keep quiet, a run ended by a signal while it asks
// still lets them talk again: mode 9 reaches the car, and the line is put back after it.
TEST_F(Cli, ACarAskedToKeepQuietIsLetTalkAgainWhenASignalEndsTheRun) {
  CarFaults anotherEcu;
  anotherEcu.present = true;
  anotherEcu.ecuId = 0xF5;
  PtyPair car(anotherEcu);
  const ByteBuffer before = car.LineSettings();
  env_["ALDL_COM1"] = car.SlavePath();
  Start("--port 1 --test car --quiet-bus --ecu F4");
  ASSERT_TRUE(WaitFor("Asking ECU F4"));
  Signal(SIGTERM);
  EXPECT_EQ(Finish(), 128 + SIGTERM);
  const std::vector<FrameBytes> heard = car.CarHeard();
  ASSERT_GE(heard.size(), 3u);
  EXPECT_EQ(heard.front(), MakeFrame(0xF4, kModeQuietBus));
  EXPECT_EQ(heard.back(), MakeFrame(0xF4, kModeResumeBus));
  EXPECT_EQ(car.LineSettings(), before);
  EXPECT_FALSE(car.Exclusive());
}

// A result that never reached standard output is no success: the reason on standard error and
// status 74, whatever the run's own.
TEST_F(Cli, OutputThatCannotBeWrittenEndsWith74) {
  for (const char* commandLine : {"--simulate=std-rates --json", "--list", "--list --json"}) {
    SCOPED_TRACE(commandLine);
    EXPECT_EQ(Run(std::string(commandLine) + " >/dev/full"), 74);
    EXPECT_TRUE(Contains(Err(), "aldl-tester-cli: cannot write to standard output"))
        << Err();
  }
}

// Each port as --list shows it and as --list --json gives what it is and why it cannot be opened,
// opening none: opening a line moves its modem lines.
TEST_F(Cli, ListShowsEachPortWithWhatItIsAndWhyItCannotBeOpened) {
  PtyPair pty;
  const OpenWatch opened{pty.SlavePath()};
  env_["ALDL_COM2"] = pty.SlavePath();
  env_["ALDL_COM3"] = "/dev/null";
  const std::string notSerial = "/dev/null is a character device but not a terminal, so not a serial device";
  const std::tuple<std::string, std::string, std::string> ports[] = {
      {"sim yes simulated adaptor", "simulated", ""},
      {pty.SlavePath() + " yes pseudo-terminal " + pty.SlavePath().substr(5), "pty", ""},  // pts/N
      {"/dev/null no not a serial line (null)\n " + notSerial, "not-serial", notSerial},
      {Missing(4) + " no " + Missing(4) + " does not exist", "missing", Missing(4) + " does not exist"}};
  EXPECT_EQ(Run("--list --simulate"), 0) << Err();
  const std::string table =
      QString::fromStdString(Out()).replace(QRegularExpression(" +"), " ").toStdString();
  EXPECT_EQ(Run("--list --json --simulate"), 0) << Err();
  const auto list = nlohmann::json::parse(Out()).at("ports");
  EXPECT_EQ(list.size(), 16u);
  for (int port = 1; const auto& [row, kind, reason] : ports) {
    SCOPED_TRACE(row);
    EXPECT_TRUE(Contains(table, "\nCOM " + std::to_string(port) + " " + row + "\n")) << table;
    const auto& entry = list.at(port++ - 1);
    EXPECT_EQ(entry.at("available"), reason.empty());
    EXPECT_EQ(entry.at("reason"), reason.empty() ? nlohmann::json() : nlohmann::json(reason));
    EXPECT_EQ(entry.at("identity").at("kind"), kind);
  }
  EXPECT_FALSE(opened.Opened());
}

TEST_F(Cli, BadUsageSaysWhatWasWrongAndExits64) {
  const std::pair<std::string, std::string> misuses[] = {
      {"", "say where to test: --port N, --device PATH, --simulate or --watch"},
      {"--port 17", "--port: 17 is not a COM number: give 1 to 16"},
      {"--simulate --baud 0", "--baud: 0 is not a rate"},
      {"--simulate --test slow", "--test: slow is not a test: choose fast, extended or car"},
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
