// aldl-tester-cli's whole program on the simulated adaptor and the fake clock: each run is a
// process of its own (its exit status, its streams and its Ctrl-C are its own) that takes no
// real time, so that what a run says is checked without the machine's clock.

#include <gtest/gtest.h>

#include <csignal>
#include <nlohmann/json.hpp>
#include <tuple>

#include "cli/program.h"
#include "support/child_run.h"
#include "support/fake_clock.h"

namespace {

class CliOnFakeClock : public ::testing::Test, protected ChildRun {
 protected:
  // The program with these arguments, in a process of its own; every COM number but the
  // simulated adaptor's points at a missing path. With ctrlCAt, Ctrl-C comes when the clock
  // reads that.
  int RunProgram(std::vector<std::string> arguments, std::int32_t ctrlCAt = 0) {
    return RunInChild([&] {
      for (int n = 1; n <= 16; ++n) setenv(("ALDL_COM" + std::to_string(n)).c_str(), FilePath("missing").c_str(), 1);
      arguments.insert(arguments.begin(), "aldl-tester-cli");
      std::vector<char*> argv;
      for (std::string& each : arguments) argv.push_back(each.data());
      argv.push_back(nullptr);
      FakeClock clock;
      clock.onAdvance = [ctrlCAt](std::int32_t now) {
        if (now == ctrlCAt) std::raise(SIGINT);
      };
      return ::RunProgram(static_cast<int>(arguments.size()), argv.data(), clock);
    });
  }
};

// One JSON object on stdout and the exit status for each way a run on the simulated adaptor
// ends, with the report on stderr saying why and after it the diagnosis of a run that failed
// (null in the JSON when every phase passed).
TEST_F(CliOnFakeClock, ExitStatusJsonAndDiagnosisForEachEndingOfARun) {
  const std::tuple<const char*, std::vector<std::string>, int, std::string, std::string, std::string> runs[] = {
      {"good adaptor", {"--simulate"}, 0, "passed", " >>DTR Power Phase1 Test Passed\n", ""},
      {"cable pulled", {"--simulate=unplug=100"}, 1, "failed", " >>COM port is not open, Phase1 failed",
       "The port went away"},
      {"8192 refused", {"--simulate=std-rates"}, 1, "failed", "Exiting the test procedure.",
       "The port would not take 8192 baud"}};
  for (const auto& [name, arguments, status, verdict, said, cause] : runs) {
    SCOPED_TRACE(name);
    auto withJson = arguments;
    withJson.push_back("--json");
    EXPECT_EQ(RunProgram(withJson), status) << Err();
    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(Out())) << Out();
    EXPECT_EQ(json.at("verdict"), verdict);
    EXPECT_TRUE(Contains(Err(), said)) << Err();
    EXPECT_EQ(Contains(Err(), "\nDiagnosis\n  Likely cause: " + cause), !cause.empty()) << Err();
    if (cause.empty()) {
      EXPECT_TRUE(json.at("diagnosis").is_null()) << json.dump();
      EXPECT_EQ(json.at("rates").at(0).at("phases").at(2).at("outcome"), "passed");
    } else {
      EXPECT_TRUE(json.at("diagnosis").at("cause").get<std::string>().starts_with(cause)) << json.dump();
      EXPECT_FALSE(json.at("diagnosis").at("fix").get<std::string>().empty());
    }
    if (cause.starts_with("The port went away")) {
      EXPECT_EQ(json.at("rates").at(0).at("phases").at(2).at("outcome"), "port-not-open");
    }
  }
}

// The car link test: exit 0 when the ECU answered, 1 for every other verdict, 2 without one;
// the JSON carries what was heard, the requests with their echoes and replies, and the verdict.
TEST_F(CliOnFakeClock, CarLinkTestExitStatusAndJson) {
  const std::tuple<std::vector<std::string>, int, std::string, std::string> runs[] = {
      {{"--simulate=chatter"}, 0, "answered", ""},
      {{"--simulate=car,ignition-off", "--ecu", "f4"}, 1, "only-echo", "Only the tester's own request"},
      {{"--simulate=held-low"}, 1, "line-held-low", "The data line is held low"},
      {{"--simulate=car,std-rates"}, 1, "rate-refused", "The port would not take 8192 baud"},
      {{"--simulate=car,unplug=500"}, 1, "port-lost", "The port went away during the car link test"}};
  for (const auto& [arguments, status, verdict, cause] : runs) {
    SCOPED_TRACE(arguments.front());
    auto command = arguments;
    command.insert(command.end(), {"--test", "car", "--json"});
    EXPECT_EQ(RunProgram(command), status) << Err();
    nlohmann::json json;
    ASSERT_NO_THROW(json = nlohmann::json::parse(Out())) << Out();
    EXPECT_EQ(json.at("test"), "car");
    EXPECT_EQ(json.at("car").at("verdict"), verdict) << json.dump();
    EXPECT_EQ(json.at("diagnosis").is_null(), cause.empty()) << json.dump();
    if (!cause.empty()) {
      EXPECT_TRUE(json.at("diagnosis").at("cause").get<std::string>().starts_with(cause));
    }
  }
  ASSERT_EQ(RunProgram({"--simulate=chatter", "--test", "car", "--json"}), 0);
  const auto car = nlohmann::json::parse(Out()).at("car");
  const std::pair<const char*, nlohmann::json> fields[] = {
      {"/answered_id", "F4"}, {"/other_ids", nlohmann::json::array({"08", "F1"})}, {"/latency_ms", 10},
      {"/listen/frames/0/bytes", "08 55 A3"}, {"/listen/frames/0/checksum_good", true},
      {"/requests/0/request", "F4 57 01 00 B4"}, {"/requests/0/echo", "F4 57 01 00 B4"},
      {"/requests/0/echo_ms", 10}, {"/requests/0/outcome", "answered"}};
  for (const auto& [field, value] : fields) EXPECT_EQ(car.at(nlohmann::json::json_pointer(field)), value) << field;
  EXPECT_TRUE(car.at("requests").at(0).at("reply").get<std::string>().starts_with("F4 95 01"));

  EXPECT_EQ(RunProgram({"--simulate=car", "--test", "car"}, 2000), 2) << Err();
  EXPECT_TRUE(Out().ends_with("*User Halted Test*\n")) << Out();
  EXPECT_EQ(RunProgram({"--simulate", "--ecu", "F4"}), 64);
  EXPECT_TRUE(Contains(Err(), "--ecu and --quiet-bus are for the car link test")) << Err();
  EXPECT_EQ(RunProgram({"--simulate", "--test", "car", "--ecu", "F4G"}), 64);
}

// The JSON names the adaptor, carries the measured rate and each phase's evidence, and each
// fault after the first once, under "also".
TEST_F(CliOnFakeClock, TheJsonCarriesTheFiguresTheEvidenceAndEachFaultOnce) {
  EXPECT_EQ(RunProgram({"--simulate=rate=8700,no-rts", "--json"}), 1) << Err();
  const auto json = nlohmann::json::parse(Out());
  EXPECT_TRUE(json.at("identity").contains("by_id"));
  EXPECT_GT(json.at("speed").at("measured_rate").get<double>(), 8600);
  const auto& noRts = json.at("rates").at(0).at("phases").at(1);
  EXPECT_EQ(noRts.at("bytes_received"), 0);
  EXPECT_TRUE(noRts.at("first_byte_ms").is_null());
  EXPECT_GT(json.at("rates").at(0).at("phases").at(0).at("first_byte_ms").get<int>(), 0);
  const auto& diagnosis = json.at("diagnosis");
  ASSERT_EQ(diagnosis.at("also").size(), 1u) << diagnosis.dump();
  EXPECT_NE(diagnosis.at("also").at(0).at("cause"), diagnosis.at("cause"));
}

// Without --json the diagnosis follows the report on standard output, the report unchanged.
TEST_F(CliOnFakeClock, TheDiagnosisFollowsTheReport) {
  EXPECT_EQ(RunProgram({"--simulate=unplug=100"}), 1) << Err();
  EXPECT_TRUE(Contains(Out(), "Phase4 failed\n\nFast Test complete, errors occurred\n\nDiagnosis\n"
                              "  Likely cause: The port went away during the test, in phase 1"))
      << Out();
  EXPECT_TRUE(Contains(Out(), "\n  What to do:   Plug the adaptor firmly into the computer")) << Out();
}

// The speed check has no check after it: Ctrl-C there says the run goes on to its verdict,
// which it then does.
TEST_F(CliOnFakeClock, CtrlCInTheSpeedCheckSaysTheTestRunsToItsVerdict) {
  EXPECT_EQ(RunProgram({"--simulate"}, 5000), 0) << Err();
  EXPECT_TRUE(Contains(Err(), "\nThe speed check cannot be stopped: the test ends with its verdict in a few "
                              "seconds. Ctrl-C again quits at once.\n"))
      << Err();
  EXPECT_TRUE(Out().ends_with("Fast Test complete, all phases passed\n")) << Out();
}

}  // namespace
