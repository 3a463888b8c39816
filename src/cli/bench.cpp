#include "cli/bench.h"

#include <unistd.h>

#include <deque>
#include <iostream>
#include <set>
#include <stdexcept>

#include "adaptor_tests/diagnosis.h"
#include "adaptor_tests/diagnosis_text.h"
#include "cli/bench_record.h"
#include "cli/cli_options.h"
#include "cli/decimal_separator.h"
#include "cli/exit_status.h"
#include "cli/headless_run.h"
#include "cli/interrupt.h"
#include "cli/log_file.h"
#include "cli/terminal_panel.h"
#include "cli/verdict_banner.h"
#include "link/event_hook.h"
#include "serial/adaptor_watch.h"
#include "serial/port_map.h"
#include "serial/process_endings.h"

namespace {

// A device node may show before it can be opened (its permissions still being set).
constexpr int kReadyTries = 10;
constexpr std::int32_t kReadyPauseMs = 200;

using Entry = AdaptorWatch::Entry;

constexpr char kEndBenchNotice[] = "\nEnding the bench.\n";

struct Tally {
  int tested = 0;
  int passed = 0;
  int failed = 0;
  int withoutVerdict = 0;
};

std::string SummaryText(const Tally& tally) {
  std::string text = "\nBench: " + std::to_string(tally.tested) + " tested, " + std::to_string(tally.passed) +
                     " passed, " + std::to_string(tally.failed) + " failed";
  if (tally.withoutVerdict > 0) text += ", " + std::to_string(tally.withoutVerdict) + " without a verdict";
  return text + "\n";
}

// Said when a signal ends the bench at once (a second Ctrl-C, a terminal closed, SIGTERM twice):
// the test under way, logged as halted, and the summary.
void BenchLastWords() noexcept {
  LogKeptRecord();
  PrintKeptSummary();
}

class Bench {
 public:
  Bench(const CliOptions& options, PortMap& ports, Clock& clock, LogFile* log,
        std::unique_ptr<AdaptorWatch> watch)
      : options_(options),
        ports_(ports),
        clock_(clock),
        log_(log),
        report_(options.json ? std::cerr : std::cout),
        comPort_(options.comPort.value_or(1)) {
    if (options.device) ports_.Assign(comPort_, *options.device);
    named_ = options.comPort || options.device;
    if (watch) {
      watch_ = std::move(watch);
    } else {
      watch_ = named_ ? WatchDevice(ports_.Device(comPort_), ports_.Roots()) : WatchAdaptors(ports_.Roots());
    }
  }

  int Run() {
    InstallInterruptHandler(kEndBenchNotice);
    AlsoStopOnTermination();
    SayLastWordsOnEnding(BenchLastWords);
    KeepSummaryForTheEnd(SummaryText(tally_), options_.json);
    // Without a named device, the adaptors already there are left alone.
    if (!named_) known_ = Present();
    SayWatching();
    try {
      Watch();
    } catch (const std::runtime_error& failure) {
      std::cerr << "aldl-tester-cli: " << failure.what() << "; the bench ends\n";
      broken_ = true;
    }
    const int status = Summary();
    if (const int signal = TerminationRequested()) EndBySignal(signal);
    return status;
  }

 private:
  void Watch() {
    while (!InterruptRequested() && !broken_) {
      const std::set<Entry> present = Present();
      std::erase_if(known_, [&](const Entry& each) { return !present.contains(each); });
      std::erase_if(queue_, [&](const Entry& each) { return !present.contains(each); });
      if (current_ && !present.contains(*current_)) {
        current_.reset();
        report_ << "Unplugged; waiting for the next adaptor.\n" << std::flush;
      }
      for (const Entry& each : present) {
        if (known_.insert(each).second) queue_.push_back(each);
      }
      if (!current_ && !queue_.empty()) {
        current_ = queue_.front();
        queue_.pop_front();
        Take(*current_);
        continue;
      }
      watch_->Wait(InterruptRequested);
    }
  }

  std::set<Entry> Present() {
    const std::vector<Entry> entries = watch_->Entries();
    return {entries.begin(), entries.end()};
  }

  // The name the system shows for the adaptor now, as the log keeps it; nothing once it is gone.
  std::string LinkNow(const Entry& adaptor) {
    const std::set<Entry> present = Present();
    const auto found = present.find(adaptor);
    return found == present.end() ? "" : found->link;
  }

  void SayWatching() {
    if (named_) {
      report_ << "Watching for " << watch_->Where() << ": testing it now if it is there, then "
              << "each time it is plugged in again.";
    } else {
      report_ << "Watching " << watch_->Where() << " for adaptors";
      if (!known_.empty()) report_ << " (" << known_.size() << " already there, left alone)";
      report_ << ". Plug one in.";
    }
    report_ << " Ctrl-C ends the bench.\n" << std::flush;
  }

  // Why the port cannot be opened once the node has had time to be ready, or nothing.
  std::optional<std::string> WaitUntilReady(const Entry& adaptor) {
    std::optional<std::string> why = ports_.Unavailability(comPort_);
    for (int tries = 1; why && tries < kReadyTries && !InterruptRequested(); ++tries) {
      SleepFor(kReadyPauseMs);
      if (!Present().contains(adaptor)) break;
      why = ports_.Unavailability(comPort_);
    }
    return why;
  }

  void Take(const Entry& adaptor) {
    if (!named_) ports_.Assign(comPort_, adaptor.device);
    BenchResult result;
    result.test = options_.test;
    result.identity = ports_.Identity(comPort_);
    // The watch has just seen it: a system that cannot name it (Wine's device table misses ports
    // linked after it started) does not make it missing.
    if (result.identity.kind == PortIdentity::Kind::Missing) result.identity.kind = PortIdentity::Kind::Unknown;
    report_ << "\nTesting " << adaptor.device << ": " << DescribeIdentity(result.identity) << '\n'
            << std::flush;
    const std::optional<std::string> unready = WaitUntilReady(adaptor);
    if (InterruptRequested()) return;
    if (unready && !Present().contains(adaptor)) {
      report_ << "It went before it could be opened.\n" << std::flush;
      return;
    }
    result.time = std::chrono::system_clock::now();
    if (unready) {
      result.openFailure = *unready;
      report_ << "Cannot open it: " << *unready << '\n';
    } else {
      KeepHaltedForTheEnd(result, adaptor);
      Test(result);
    }
    // A link renamed since, or gone with a pulled cable: the name it had when taken.
    result.byId = named_ ? result.identity.byId : LinkNow(adaptor);
    if (result.byId.empty()) result.byId = adaptor.link;
    Record(result);
  }

  // Should a signal end the bench during the test, the test is logged halted and counted so.
  void KeepHaltedForTheEnd(BenchResult halted, const Entry& adaptor) {
    halted.record = RunRecord{};
    halted.record->verdict = Verdict::Halted;
    halted.byId = named_ ? halted.identity.byId : adaptor.link;
    if (log_) log_->KeepForTheEnd(options_.json ? JsonRecord(halted) : CsvRecord(halted));
    Tally ifHalted = tally_;
    ++ifHalted.tested;
    ++ifHalted.withoutVerdict;
    KeepSummaryForTheEnd(SummaryText(ifHalted), options_.json);
  }

  void Test(BenchResult& result) {
    TerminalPanel panel(report_, std::cerr, isatty(STDERR_FILENO) != 0);
    HeadlessRun run(ports_, clock_, panel, UserDecimalSeparator());
    if (const auto why = run.OpenPort(comPort_)) {
      result.openFailure = *why;
      report_ << "Cannot open it: " << *why << '\n';
      return;
    }
    if (options_.baud) run.SelectRate(*options_.baud);
    result.record = run.Run(options_.test, {options_.ecu, options_.quietBus});
    InstallInterruptHandler(kEndBenchNotice);
    panel.EndReport();
    if (!result.record) {
      result.openFailure = "the port was not ready for the test";
      return;
    }
    if (const auto diagnoses = Diagnose(*result.record, result.identity); !diagnoses.empty()) {
      report_ << DiagnosisText(diagnoses);
    }
  }

  void Record(const BenchResult& result) {
    const int status = result.record ? ExitStatusOf(*result.record) : kExitNoVerdict;
    ++tally_.tested;
    const char* word = "NO VERDICT";
    if (status == kExitPassed) {
      ++tally_.passed;
      word = "PASSED";
    } else if (status == kExitErrors) {
      ++tally_.failed;
      word = "FAILED";
    } else {
      ++tally_.withoutVerdict;
      if (result.record && result.record->verdict == Verdict::Halted) word = "HALTED";
    }
    const bool terminal = isatty(options_.json ? STDERR_FILENO : STDOUT_FILENO) != 0;
    report_ << '\n' << VerdictBanner(word, status == kExitPassed, terminal);
    if (!terminal && isatty(STDERR_FILENO)) std::cerr << '\a';
    const std::string record = options_.json ? JsonRecord(result) : CsvRecord(result);
    if (options_.json) std::cout << record;
    std::cout << std::flush;
    KeepSummaryForTheEnd(SummaryText(tally_), options_.json);
    if (log_) {
      try {
        log_->Append(record);
      } catch (const std::runtime_error& failure) {
        // The record the log could not take is not lost: it goes with the reason.
        std::cerr << "aldl-tester-cli: " << failure.what() << "; the bench ends, so that no result goes "
                  << "unrecorded. The record:\n" << record << std::flush;
        log_->KeepForTheEnd("");
        broken_ = true;
        return;
      }
    }
    report_ << "Unplug it to take the next";
    if (!queue_.empty()) report_ << " (" << queue_.size() << " waiting)";
    report_ << ".\n" << std::flush;
  }

  int Summary() {
    KeepSummaryForTheEnd("", options_.json);
    report_ << SummaryText(tally_) << std::flush;
    if (tally_.failed > 0) return kExitErrors;
    return tally_.withoutVerdict > 0 || broken_ ? kExitNoVerdict : kExitPassed;
  }

  const CliOptions& options_;
  PortMap& ports_;
  Clock& clock_;
  LogFile* log_;
  std::ostream& report_;
  std::int16_t comPort_;
  bool named_ = false;  // one device watched, given with --port or --device
  std::unique_ptr<AdaptorWatch> watch_;
  std::set<Entry> known_;  // present and already tested, or there when the bench started
  std::deque<Entry> queue_;
  std::optional<Entry> current_;  // tested and not yet unplugged
  Tally tally_;
  bool broken_ = false;  // the log could not be written, or the folder no longer watched
};

}  // namespace

int RunBench(const CliOptions& options, PortMap& ports, Clock& clock) {
  return RunBench(options, ports, clock, nullptr);
}

int RunBench(const CliOptions& options, PortMap& ports, Clock& clock, std::unique_ptr<AdaptorWatch> watch) {
  try {
    std::unique_ptr<LogFile> log;
    if (options.log) {
      log = options.json ? OpenLog(*options.log, "", ForeignJsonLog)
                         : OpenLog(*options.log, std::string(kCsvHeader) + "\n", ForeignCsvLog);
    }
    Bench bench(options, ports, clock, log.get(), std::move(watch));
    return bench.Run();
  } catch (const std::runtime_error& refused) {
    std::cerr << "aldl-tester-cli: " << refused.what() << '\n';
    return kExitUsage;
  }
}
