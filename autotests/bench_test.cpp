// The cable maker's bench, aldl-tester-cli --watch, on a by-id folder of the test's own whose
// links it makes and removes as plugging adaptors in and out does, with ptys as the adaptors.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <thread>
#include <nlohmann/json.hpp>
#include <tuple>

#include "cli/bench_record.h"
#include "cli/log_file.h"
#include "support/cli_process.h"
#include "support/pty_pair.h"

// Every fsync of this program, counted on its way to the system's.
std::atomic<int> fsyncs = 0;
extern "C" int __real_fsync(int fd);
extern "C" int __wrap_fsync(int fd) {
  ++fsyncs;
  return __real_fsync(fd);
}

namespace {

namespace fs = std::filesystem;

class Bench : public Cli {
 protected:
  Bench() { env_["ALDL_SERIAL_BY_ID"] = ByIdFolder(); }

  std::string ByIdFolder() const { return Dir() + "/by-id"; }
  std::string Log() const { return Dir() + "/bench.csv"; }

  // As the system does it: the link is made under a passing name, then renamed (the name here
  // is not one of udev's, which the bench knows).
  std::string Plug(const std::string& name, const PtyPair& adaptor) {
    const std::string link = ByIdFolder() + "/" + name;
    fs::create_directories(ByIdFolder());
    fs::create_symlink(adaptor.SlavePath(), link + ".partial");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    fs::rename(link + ".partial", link);
    return link;
  }
  void Unplug(const std::string& name) { fs::remove(ByIdFolder() + "/" + name); }

  void StartBench() { Start("--watch --baud 115200 --log " + Log()); }
};

// On a folder the system changes (bench_scenarios_test.cpp plays the bench's rules on the fake
// clock): an adaptor there at the start is left alone; the folder goes with its last link and
// comes back with udev's passing names left in it, which are no adaptors; one plugged in under a
// passing name and renamed, still held by another program, is tried again until it is free,
// tested once and logged under the name it has when the record is written, after a rename while
// it waited; its link made again over itself, as udev does on a change event, and a second link
// to it, are no second plug.
TEST_F(Bench, OnTheSystemsFolderAHeldAdaptorIsTestedOnceFreeAndLoggedUnderItsName) {
  PtyPair present(PtyPair::Mode::Echo), held(PtyPair::Mode::Echo);
  const auto before = std::vector{present.LineSettings(), held.LineSettings()};
  Plug("usb-present", present);
  StartBench();
  ASSERT_TRUE(WaitFor("(1 already there, left alone)")) << Err();
  Unplug("usb-present");
  fs::remove(ByIdFolder());
  fs::create_directories(ByIdFolder());
  fs::create_symlink(present.SlavePath(), ByIdFolder() + "/usb-left.tmp-c188:1");
  fs::create_symlink(present.SlavePath(), ByIdFolder() + "/.#usb-leftXYZ");

  held.Lock();
  Plug("usb-held", held);
  ASSERT_TRUE(WaitFor("\nTesting " + held.SlavePath() + ":")) << Out();
  const std::string heldLink = ByIdFolder() + "/usb-held-renamed";
  fs::rename(ByIdFolder() + "/usb-held", heldLink);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  held.Unlock();
  ASSERT_TRUE(WaitFor("=====  PASSED  =====")) << Out() << Err();
  Plug("usb-held-renamed", held);
  fs::create_symlink(held.SlavePath(), ByIdFolder() + "/usb-held-again");
  std::this_thread::sleep_for(std::chrono::milliseconds(600));

  Signal(SIGINT);
  EXPECT_EQ(Finish(), 0) << Err();
  EXPECT_TRUE(Out().ends_with("\nBench: 1 tested, 1 passed, 0 failed\n")) << Out();
  EXPECT_EQ(Occurrences(Out(), "\nTesting "), 1) << Out();
  EXPECT_FALSE(Contains(Out(), ".partial") || Contains(Out(), "usb-left"))
      << "a passing name taken for an adaptor";
  EXPECT_EQ(present.Echoed(), 0u);
  EXPECT_EQ((std::vector{present.LineSettings(), held.LineSettings()}), before);
  for (const PtyPair* adaptor : {&present, &held}) {
    EXPECT_FALSE(adaptor->Exclusive());
    EXPECT_FALSE(adaptor->Locked());
  }
  const auto log = FileLines(Log());
  ASSERT_EQ(log.size(), 2u) << FileText(Log());
  EXPECT_EQ(log[0], kCsvHeader);
  EXPECT_TRUE(Contains(log[1], "," + heldLink + ",fast,passed,")) << log[1];
}

// Ctrl-C, SIGTERM, its terminal closed (SIGHUP), or SIGTERM twice 50 ms apart while a named port
// is under test: its record says halted and the summary is printed, as the test stops as Stop
// Test does or, at the second signal, at once; the bench ends by that signal (Ctrl-C: no
// verdict). A log whose last line a crash tore keeps that line apart from the new record. (Phase
// 1 at 115200 baud only comes sooner.)
TEST_F(Bench, ASignalDuringATestLogsItHaltedAndEndsTheBench) {
  const std::tuple<const char*, int, std::function<void(PtyPair&)>> endings[] = {
      {"Ctrl-C", SIGINT, [this](PtyPair&) { Signal(SIGINT); }},
      {"its terminal closed", SIGHUP, [](PtyPair& terminal) { terminal.HangUp(); }},
      {"SIGTERM twice", SIGTERM, [this](PtyPair&) {
         Signal(SIGTERM);
         std::this_thread::sleep_for(std::chrono::milliseconds(50));
         Signal(SIGTERM);
       }}};
  for (const auto& [name, signal, end] : endings) {
    SCOPED_TRACE(name);
    PtyPair terminal;
    terminal_ = terminal.SlavePath();
    PtyPair cable(PtyPair::Mode::Echo);
    const ByteBuffer before = cable.LineSettings();
    const std::string log = Dir() + "/bench" + std::to_string(signal) + ".jsonl";
    const std::string earlier = R"({"verdict": "passed", "by_id": null})" "\n" R"({"verdict": "fa)";
    std::ofstream(log) << earlier;
    Start("--watch --json --baud 115200 --device " + cable.SlavePath() + " --log " + log);
    ASSERT_TRUE(WaitFor("Phase1 Passed", STDERR_FILENO)) << Err();
    end(terminal);
    EXPECT_EQ(Finish(), signal == SIGINT ? 2 : 128 + signal) << Err();
    EXPECT_TRUE(Err().ends_with("\nBench: 1 tested, 0 passed, 0 failed, 1 without a verdict\n")) << Err();
    EXPECT_EQ(cable.LineSettings(), before);
    EXPECT_FALSE(cable.Locked());

    const std::string written = FileText(log);
    ASSERT_TRUE(written.starts_with(earlier + "\n")) << written;
    const auto record = nlohmann::json::parse(written.substr(earlier.size() + 1));
    EXPECT_EQ(record.at("verdict"), "halted");
    EXPECT_EQ(record.at("test"), "fast");
    if (Out().empty()) continue;  // ended at once, before it got to standard output
    EXPECT_EQ(nlohmann::json::parse(Out()), record) << "standard output holds the record too";
  }
}

// A log the bench cannot keep is refused before any adaptor is taken, with the reason, and
// what the file held is left as it was.
TEST_F(Bench, RefusesALogItCannotKeep) {
  const std::string foreign = Dir() + "/foreign.csv";
  std::ofstream(foreign) << "name,price\nwidget,3\n";
  const std::string ours = Dir() + "/ours.csv";
  std::ofstream(ours) << kCsvHeader << '\n';
  const std::string held = Dir() + "/held.csv";
  std::ofstream(held) << kCsvHeader << '\n';
  const int holder = open(held.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(holder, LOCK_EX), 0);
  const std::tuple<const char*, std::string, std::string, std::string> logs[] = {
      {"another file's CSV", foreign, "", "its first line is not the bench log's header"},
      {"a CSV log asked for as JSON lines", ours, " --json", "its first line is no bench record in JSON"},
      {"the log of a bench still running", held, "", "another bench is writing to it"},
      {"a folder", Dir(), "", "it is not a regular file"},
      {"in a missing folder", Dir() + "/missing/bench.csv", "", "No such file or directory"}};
  for (const auto& [name, path, json, reason] : logs) {
    SCOPED_TRACE(name);
    const std::string contents = fs::is_regular_file(path) ? FileText(path) : "";
    EXPECT_EQ(Run("--watch --log '" + path + "'" + json), 64);
    EXPECT_TRUE(Contains(Err(), "aldl-tester-cli: cannot keep the log in " + path + ": " + reason)) << Err();
    EXPECT_FALSE(Contains(Out() + Err(), "Watching")) << "the bench started";
    if (fs::is_regular_file(path)) {
      EXPECT_EQ(FileText(path), contents);
    }
  }
  close(holder);
}

// Each record lands whole in the file the user named: after the log is renamed or removed the
// next goes to a new file under the name (with its header), and a write the disk cuts short
// (here a file size limit) is taken back, so that no torn line stays behind.
TEST(BenchLog, EachRecordIsWholeInTheFileNamed) {
  QTemporaryDir dir;
  const std::string path = dir.filePath("bench.csv").toStdString();
  const auto log = OpenLog(path, "header\n", ForeignCsvLog);
  const int synced = fsyncs;
  log->Append("one\n");
  EXPECT_EQ(fsyncs - synced, 1) << "a record not on the disk before the next adaptor";
  fs::rename(path, path + ".1");
  log->Append("two\n");
  fs::remove(path);
  log->Append("three\n");
  EXPECT_EQ(FileText(path + ".1"), "header\none\n");
  EXPECT_EQ(FileText(path), "header\nthree\n");

  const auto previous = signal(SIGXFSZ, SIG_IGN);
  rlimit before{};
  getrlimit(RLIMIT_FSIZE, &before);
  const rlimit small{20, before.rlim_max};
  setrlimit(RLIMIT_FSIZE, &small);
  EXPECT_THROW(log->Append("a record longer than the room left\n"), std::runtime_error);
  setrlimit(RLIMIT_FSIZE, &before);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(FileText(path), "header\nthree\n");
  log->Append("four\n");
  EXPECT_EQ(FileText(path), "header\nthree\nfour\n");

  // A line a crash tore is closed once, not before every record after it.
  const std::string torn = dir.filePath("torn.csv").toStdString();
  std::ofstream(torn) << "header\nhalf a rec";
  const auto continued = OpenLog(torn, "header\n", [](const std::string&) { return std::nullopt; });
  continued->Append("five\n");
  continued->Append("six\n");
  EXPECT_EQ(FileText(torn), "header\nhalf a rec\nfive\nsix\n");
}

// A cell of the log is one cell to a CSV reader and never a formula to a spreadsheet, whatever
// the adaptor reports as its strings.
TEST(BenchLog, CellsStayCellsWhateverTheAdaptorReports) {
  const std::pair<std::string, std::string> cells[] = {
      {"A1B2C3", "A1B2C3"},
      {"Cable, long", "\"Cable, long\""},
      {"a \"quoted\" name", "\"a \"\"quoted\"\" name\""},
      {"=HYPERLINK(\"x\")", "\"'=HYPERLINK(\"\"x\"\")\""},
      {"+1", "'+1"},
      {"-2+3", "'-2+3"},
      {"@SUM(A1)", "'@SUM(A1)"},
      {"two\nlines\r", "\"two lines \""},
      {" padded", "\" padded\""}};
  for (const auto& [text, cell] : cells) EXPECT_EQ(CsvCell(text), cell) << text;
}

// The time is UTC whatever the bench's time zone.
TEST(BenchLog, RecordsFollowTheHeaderColumnByColumn) {
  const std::string zone = std::getenv("TZ") ? std::getenv("TZ") : "";
  setenv("TZ", "America/New_York", 1);
  tzset();
  BenchResult result;
  result.time = std::chrono::system_clock::from_time_t(1'796'000'000);
  result.identity.kind = PortIdentity::Kind::Usb;
  result.identity.serialNumber = "A1B2C3";
  result.identity.vendorId = "0403";
  result.identity.productId = "6001";
  result.identity.product = "FT232R USB UART";
  result.byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0";
  result.record = RunRecord{{{8192, {{1, PhaseOutcome::Passed}, {2, PhaseOutcome::ReceiveTimeout}}}},
                            SpeedRecord{SpeedOutcome::OutOfRange, 9597.25f},
                            Verdict::Failed};
  const std::string line = CsvRecord(result);
  zone.empty() ? unsetenv("TZ") : setenv("TZ", zone.c_str(), 1);
  tzset();
  const auto json = nlohmann::json::parse(JsonRecord(result));
  const std::string diagnosis = json.at("diagnosis");
  EXPECT_TRUE(diagnosis.starts_with("The line really runs at the standard 9600 baud") &&
              Contains(diagnosis, ". Also: Nothing came back with the adaptor powered from RTS only"))
      << diagnosis;
  EXPECT_EQ(line, "2026-11-30T00:53:20Z,A1B2C3,0403:6001,FT232R USB UART," + result.byId +
                      ",fast,failed,9597.2,8192:phase2=receive-timeout speed=out-of-range," + CsvCell(diagnosis) + "\n");
  EXPECT_EQ(json.at("measured_rate"), 9597.3);
  EXPECT_EQ(json.at("failed_phases"), nlohmann::json({"8192:phase2=receive-timeout", "speed=out-of-range"}));
  EXPECT_FALSE(ForeignJsonLog(JsonRecord(result)));
  EXPECT_TRUE(ForeignJsonLog(R"({"verdict": "passed", "price": 3})"));
  EXPECT_FALSE(ForeignCsvLog(std::string(kCsvHeader) + "\r"));
}

}  // namespace
