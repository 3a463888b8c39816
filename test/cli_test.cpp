// The built aldl-tester-cli, run as a user or a script runs it.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "support/cli_process.h"
#include "support/pty_pair.h"
#include "version.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every COM number points at a missing path in a fresh folder unless a test maps it, so no run
// can reach a real serial device.
class CliEnvironment : public ::testing::Test {
 protected:
  CliEnvironment() {
    std::string pattern = (std::filesystem::temp_directory_path() / "aldl-cli-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
    for (int n = 1; n <= 16; ++n) env_["ALDL_COM" + std::to_string(n)] = Missing(n);
    for (const char* name : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"}) {
      if (const char* value = std::getenv(name)) env_[name] = value;
    }
  }
  ~CliEnvironment() override { std::filesystem::remove_all(dir_); }

  std::string Missing(int comPort) const { return dir_ + "/missing-com" + std::to_string(comPort); }
  std::unique_ptr<CliProcess> Start(const std::vector<std::string>& arguments) {
    return std::make_unique<CliProcess>(ALDL_CLI_PATH, arguments, env_);
  }
  CliProcess::Outcome Run(const std::vector<std::string>& arguments) {
    return Start(arguments)->Finish();
  }

  std::string dir_;
  std::map<std::string, std::string> env_;
};

class CliRun : public CliEnvironment {};
class CliJson : public CliEnvironment {};
class CliInterrupt : public CliEnvironment {};
class CliListing : public CliEnvironment {};
class CliUsage : public CliEnvironment {};

TEST_F(CliRun, GoodAdaptorPassesWithTheReportOnStdoutAndCaptionsOnStderr) {
  env_["LC_ALL"] = "xx_XX.not-a-locale";  // falls back to the "." separator
  const auto run = Run({"--simulate"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(run.out.starts_with("Executing Extended Test procedure\n\nSetting Baud to  8192:\n"))
      << run.out;
  EXPECT_TRUE(run.out.ends_with("\n\nFast Test complete, all phases passed\n")) << run.out;
  EXPECT_FALSE(Contains(run.out, "\r"));
  EXPECT_TRUE(std::regex_search(run.out, std::regex("\n   Difference -?[0-9]+\\.[0-9]%\n")));
  EXPECT_TRUE(Contains(run.err, "Com Status: Com 1 open\nBaud Rate: 8192\n")) << run.err;
  EXPECT_TRUE(Contains(run.err, "Baud Rate: 8192 Baud\nTest Status: Phase1 Passed\n"));
  EXPECT_TRUE(run.err.ends_with("Test Status: Phase4 Passed\nTest Status: Fast Test Passed!\n"));
}

TEST_F(CliRun, RefusedRateEndsWithoutVerdict) {
  // std-rates refuses the 8192 set on opening, and then any rate that is not standard.
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"--simulate=std-rates"},
        std::vector<std::string>{"--simulate=std-rates", "--baud", "10400"}}) {
    const auto run = Run(arguments);
    EXPECT_EQ(run.exitCode, 2) << arguments.size();
    EXPECT_TRUE(run.out.ends_with("correctly set-up\n\nExiting the test procedure.\n")) << run.out;
    EXPECT_FALSE(Contains(run.out, "Test complete"));
    EXPECT_TRUE(run.err.ends_with("Test Status: Unable to set BAUD\nBaud Rate: Baud Error\n"));
    EXPECT_EQ(Contains(run.err, "Baud Rate: Error Setting Baud\n"), arguments.size() > 1);
  }
}

TEST_F(CliRun, PortThatCannotBeOpenedIsRefusedWithItsReason) {
  const auto byNumber = Run({"--port", "3"});
  EXPECT_EQ(byNumber.exitCode, 2);
  EXPECT_TRUE(Contains(byNumber.err, "COM 3: " + Missing(3) + " does not exist\n")) << byNumber.err;
  EXPECT_EQ(byNumber.out, "");

  const auto byPath = Run({"--device", dir_});
  EXPECT_EQ(byPath.exitCode, 2);
  EXPECT_TRUE(Contains(byPath.err, dir_ + " is not a serial device\n")) << byPath.err;
}

// The outcome of a phase in the words of the report.
std::string PhaseOutcomeInReport(const std::string& report, int phase) {
  const std::string name = "Phase" + std::to_string(phase);
  const std::pair<std::string, std::string> wordings[] = {
      {" >>DTR Power " + name + " Test Passed", "passed"},
      {"Timeout error transmitting data. " + name + " failed", "transmit-timeout"},
      {"Timeout error receiving data, " + name + " failed", "receive-timeout"},
      {"Error Comparing data, " + name + " failed", "compare-error"}};
  for (const auto& [wording, outcome] : wordings) {
    if (Contains(report, wording)) return outcome;
  }
  return "not reported";
}

void ExpectJsonAgreesWithReport(const nlohmann::json& json, const std::string& report) {
  for (const auto& phase : json.at("rates").at(0).at("phases")) {
    EXPECT_EQ(phase.at("outcome"), PhaseOutcomeInReport(report, phase.at("phase")));
  }
  EXPECT_EQ(json.at("verdict") == "passed",
            Contains(report, "Fast Test complete, all phases passed"));
  EXPECT_EQ(json.at("verdict") == "failed",
            Contains(report, "Fast Test complete, errors occurred"));
  std::smatch measured;
  const bool hasLine =
      std::regex_search(report, measured, std::regex("\n   Measured   ([0-9]+)\n"));
  const auto& rate = json.at("speed").at("measured_rate");
  ASSERT_EQ(hasLine, rate.is_number());
  if (hasLine) {
    EXPECT_EQ(std::llround(rate.get<double>()), std::stoll(measured[1]));
  }
}

TEST_F(CliJson, SlowLineFailsTheSpeedCheckAndStdoutHoldsOnlyTheObject) {
  env_["ALDL_COM5"] = "sim:rate=7500";
  const auto run = Run({"--port", "5", "--json"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json.at("port"), 5);
  EXPECT_EQ(json.at("device"), "sim:rate=7500");
  EXPECT_EQ(json.at("test"), "fast");
  EXPECT_EQ(json.at("rates").size(), 1u);
  EXPECT_EQ(json.at("rates").at(0).at("rate"), 8192);
  EXPECT_EQ(json.at("rates").at(0).at("phases").size(), 3u);
  EXPECT_EQ(json.at("speed").at("outcome"), "out-of-range");
  EXPECT_LT(json.at("speed").at("measured_rate").get<double>(), 7782);
  EXPECT_EQ(json.at("verdict"), "failed");
  ExpectJsonAgreesWithReport(json, run.err);
}

TEST_F(CliJson, DeadAdaptorAtTheSelectedRateGetsNothingBack) {
  const auto run = Run({"--simulate=dead", "--baud", "9600", "--json"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  const auto json = nlohmann::json::parse(run.out);
  EXPECT_EQ(json.at("device"), "sim:dead");
  EXPECT_EQ(json.at("rates").at(0).at("rate"), 9600);
  EXPECT_TRUE(Contains(run.err, "Setting Baud to  9600:\n"));
  EXPECT_EQ(PhaseOutcomeInReport(run.err, 3), "receive-timeout");
  EXPECT_EQ(json.at("speed").at("outcome"), "no-data");
  EXPECT_EQ(json.at("verdict"), "failed");
  ExpectJsonAgreesWithReport(json, run.err);
}

TEST_F(CliInterrupt, CtrlCInTheFirstPauseActsAsStopTest) {
  auto cli = Start({"--simulate", "--test", "extended"});
  ASSERT_TRUE(cli->WaitForOutput("-->Enabling DTR only power..."));
  cli->Signal(SIGINT);
  const auto run = cli->Finish();
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_TRUE(run.out.starts_with("Executing Extended Test procedure\nSetting Baud to  4800:"));
  EXPECT_TRUE(Contains(run.out, " >>DTR Power Phase1 Test Passed\n"));
  EXPECT_TRUE(run.out.ends_with("\n*User Halted Test*\n")) << run.out;
  EXPECT_TRUE(run.err.ends_with("Test Status: *User Halted Test*\n")) << run.err;
}

TEST_F(CliInterrupt, SecondCtrlCEndsAtOnce) {
  auto cli = Start({"--simulate"});
  ASSERT_TRUE(cli->WaitForOutput("-->Enabling DTR only power..."));
  cli->Signal(SIGINT);
  ASSERT_TRUE(cli->WaitForError("Ctrl-C again quits at once"));
  cli->Signal(SIGINT);
  const auto run = cli->Finish();
  EXPECT_EQ(run.signal, SIGINT);
  EXPECT_FALSE(Contains(run.out, "*User Halted Test*"));
}

TEST_F(CliListing, ShowsEveryPortWithItsDeviceAndWhetherItOpens) {
  PtyPair pty;
  env_["ALDL_COM2"] = pty.SlavePath();
  const auto run = Run({"--list", "--simulate"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  std::istringstream listing(run.out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(listing, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 16u) << run.out;
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("COM 1 +sim +can be opened")));
  EXPECT_TRUE(
      std::regex_match(lines[1], std::regex("COM 2 +" + pty.SlavePath() + " +can be opened")))
      << lines[1];
  EXPECT_EQ(lines[2].substr(0, 8), "COM 3   ");
  EXPECT_TRUE(lines[2].ends_with(" cannot be opened: " + Missing(3) + " does not exist"));
  EXPECT_TRUE(lines[15].starts_with("COM 16  " + Missing(16)));
}

TEST_F(CliUsage, BadUsageExits64) {
  const std::vector<std::vector<std::string>> misuses = {{},
                                                         {"--port", "17"},
                                                         {"--port", "two"},
                                                         {"--simulate", "--test", "slow"},
                                                         {"--simulate", "--port", "2"},
                                                         {"--list", "--port", "2"},
                                                         {"--simulate", "--baud", "0"},
                                                         {"--simulate=bogus"},
                                                         {"--frobnicate"}};
  for (const auto& arguments : misuses) {
    const auto run = Run(arguments);
    std::string shown = "arguments:";
    for (const auto& argument : arguments) shown += " " + argument;
    EXPECT_EQ(run.exitCode, 64) << shown;
    EXPECT_FALSE(run.err.empty()) << shown;
    EXPECT_EQ(run.out, "") << shown;
  }
}

TEST_F(CliUsage, HelpAndVersion) {
  const auto help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  for (const char* option :
       {"--port", "--device", "--simulate", "--test", "--baud", "--json", "--list"}) {
    EXPECT_TRUE(Contains(help.out, option)) << option;
  }
  const auto version = Run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "aldl-tester-cli " + std::to_string(kVersionMajor) + "." +
                             std::to_string(kVersionMinor) + "." +
                             std::to_string(kVersionRevision) + "\n");
}

}  // namespace
