// The cable maker's bench on the fake clock: adaptors come and go as a scripted watch shows them
// and are simulated ones, so a whole bench of several tests takes no real time and no load can
// change its course. Each bench runs in a process of its own, as the program does, so that its
// Ctrl-C (the script's end) is its own.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "cli/bench.h"
#include "cli/cli_options.h"
#include "cli/interrupt.h"
#include "serial/adaptor_watch.h"
#include "support/child_run.h"
#include "support/fake_clock.h"
#include "support/safe_port_map.h"

namespace {

using Entry = AdaptorWatch::Entry;
using EntryList = std::vector<Entry>;

constexpr char kByIdFolder[] = "/dev/serial/by-id/";

// Plugging in: an entry for a simulated adaptor ("sim" or "sim:FAULTS"), its nth coming.
void Plug(EntryList& entries, const std::string& name, const std::string& device, int coming = 1) {
  entries.push_back({device, device + "#" + std::to_string(coming), kByIdFolder + name});
  std::ranges::sort(entries, {}, &Entry::link);
}

void Unplug(EntryList& entries, const std::string& name) {
  std::erase_if(entries, [&](const Entry& each) { return each.link == kByIdFolder + name; });
}

// Each wait of the bench plays the next step of the script; once it is played, Ctrl-C.
class ScriptedWatch final : public AdaptorWatch {
 public:
  using Step = std::function<void(EntryList&)>;
  ScriptedWatch(EntryList present, std::vector<Step> steps) : entries_(std::move(present)), steps_(std::move(steps)) {}

  std::string Where() const override { return kByIdFolder; }
  EntryList Entries() override { return entries_; }
  void Wait(const std::function<bool()>& stopRequested) override {
    if (stopRequested()) return;
    if (next_ < steps_.size()) {
      steps_[next_++](entries_);
    } else {
      RequestInterrupt();
    }
  }

 private:
  EntryList entries_;
  std::vector<Step> steps_;
  std::size_t next_ = 0;
};

class BenchScenario : public ::testing::Test, protected ChildRun {
 protected:
  std::string Log() const { return FilePath("bench.csv"); }

  // The bench with --log on a fake clock, in a process of its own: its exit status, and its
  // standard output and error in Out() and Err().
  int RunBench(EntryList present, std::vector<ScriptedWatch::Step> steps) {
    return RunInChild([&] {
      CliOptions options;
      options.watch = true;
      options.log = Log();
      FakeClock clock;
      PortMap ports = SafePortMap(clock.Source());
      return ::RunBench(options, ports, clock, std::make_unique<ScriptedWatch>(std::move(present), std::move(steps)));
    });
  }

  // The log's records: each one's by-id link, verdict and failed phases, read as the columns
  // the header names.
  std::vector<std::string> Records() const {
    std::vector<std::string> lines = FileLines(Log());
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
  }
};

// An adaptor there when the bench starts (a dead one, which would fail) is left alone; each
// coming of another is tested once, and its second coming again, even when it comes back as the
// same device the watch saw before it went.
TEST_F(BenchScenario, TestsEachComingOnceAndLeavesThoseThereAtTheStartAlone) {
  EntryList present;
  Plug(present, "usb-present", "sim:dead");
  const int status = RunBench(present, {
      [](EntryList& e) { Plug(e, "usb-good", "sim"); },
      [](EntryList& e) { Unplug(e, "usb-good"); },
      [](EntryList& e) { Plug(e, "usb-good", "sim", 2); },
      [](EntryList& e) { Unplug(e, "usb-good"); },
      [](EntryList& e) { Plug(e, "usb-good", "sim", 2); },
  });
  EXPECT_EQ(status, 0) << Err();
  EXPECT_TRUE(Out().starts_with("Watching /")) << Out();
  EXPECT_TRUE(Out().find("(1 already there, left alone)") < Out().find("\nTesting ")) << Out();
  EXPECT_EQ(Occurrences(Out(), "\nTesting sim:"), 3) << Out();
  EXPECT_TRUE(Out().ends_with("\nBench: 3 tested, 3 passed, 0 failed\n")) << Out();
  const auto records = Records();
  ASSERT_EQ(records.size(), 3u) << FileText(Log());
  for (const std::string& record : records) {
    EXPECT_TRUE(record.find(",/dev/serial/by-id/usb-good,fast,passed,") != std::string::npos) << record;
  }
}

// Two that come at once are tested one after the other (in the order of their devices), the
// second only once the first is unplugged; a failure makes the bench's status 1.
TEST_F(BenchScenario, TakesTheNextOnlyOnceTheOneUnderTestIsUnplugged) {
  const int status = RunBench({}, {
      [](EntryList& e) {
        Plug(e, "usb-b-dead", "sim:dead");
        Plug(e, "usb-c-second", "sim:rate=8192");
      },
      [](EntryList& e) { Unplug(e, "usb-b-dead"); },
  });
  EXPECT_EQ(status, 1) << Err();
  EXPECT_TRUE(Out().ends_with("\nBench: 2 tested, 1 passed, 1 failed\n")) << Out();
  ASSERT_NE(Out().find("=====  FAILED  ====="), std::string::npos) << Out();
  const std::string afterFailure = Out().substr(Out().find("=====  FAILED  ====="));
  EXPECT_TRUE(afterFailure.find("\nUnplug it to take the next (1 waiting).\n") <
              afterFailure.find("\nUnplugged; waiting for the next adaptor.\n"))
      << Out();
  EXPECT_TRUE(afterFailure.find("\nUnplugged; waiting for the next adaptor.\n") <
              afterFailure.find("\nTesting sim:"))
      << "taken before the adaptor under test was unplugged";
  const auto records = Records();
  ASSERT_EQ(records.size(), 2u) << FileText(Log());
  EXPECT_TRUE(records[0].find("/usb-b-dead,fast,failed,") != std::string::npos) << records[0];
  EXPECT_TRUE(records[0].find("8192:phase1=receive-timeout") != std::string::npos) << records[0];
  EXPECT_TRUE(records[1].find("/usb-c-second,fast,passed,") != std::string::npos) << records[1];
}

// A log that can no longer be written ends the bench with status 2 once the result it could
// not keep is shown, with its record on standard error, before another adaptor is taken: no
// result goes unrecorded. The log gone for a folder, or replaced by another program's file;
// where the system keeps a running bench's log from going (Windows), the bench logs on.
TEST_F(BenchScenario, EndsWhenItsLogCannotBeWritten) {
  const std::string log = Log();
  const std::string kept = FilePath("kept");
  const std::pair<std::function<void()>, std::string> losses[] = {
      {[log] { std::filesystem::create_directory(log); }, "it is not a regular file"},
      {[log] { std::ofstream(log) << "name,price\n"; }, "its first line is not the bench log's header"}};
  for (const auto& [replace, reason] : losses) {
    SCOPED_TRACE(reason);
    std::filesystem::remove_all(log);
    const int status = RunBench({}, {
        [](EntryList& e) { Plug(e, "usb-a", "sim"); },
        [&](EntryList& e) {
          std::error_code refused;
          std::filesystem::remove(log, refused);
          refused ? (void)std::ofstream(kept) : replace();
          Unplug(e, "usb-a");
          Plug(e, "usb-b", "sim", 2);
          Plug(e, "usb-c", "sim", 3);
        },
    });
    EXPECT_EQ(Occurrences(Out(), "\nTesting "), 2) << Out();
    EXPECT_TRUE(Out().ends_with("\nBench: 2 tested, 2 passed, 0 failed\n")) << Out();
    if (std::filesystem::exists(kept)) {
      EXPECT_EQ(status, 0) << Err();
      EXPECT_EQ(Records().size(), 2u) << FileText(log);
      continue;
    }
    EXPECT_EQ(status, 2) << Err();
    EXPECT_NE(Err().find("aldl-tester-cli: cannot keep the log in " + log + ": " + reason), std::string::npos) << Err();
    EXPECT_NE(Err().find("; the bench ends, so that no result goes unrecorded. The record:\n"), std::string::npos);
    EXPECT_NE(Err().find("/dev/serial/by-id/usb-b,fast,passed,"), std::string::npos) << Err();
  }
}

}  // namespace
