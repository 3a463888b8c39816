// A USB serial chip with its data lines looped back, for the kernel's own driver of that chip:
//
//   aldl-hwtest-chip CHIP CONTROLLER LOG [--runs-at N] [--serial TEXT] [--car FAULTS]
//
// CHIP is cp2102, cp2102n, ch340, pl2303 or cdc-acm; CONTROLLER the device controller to plug
// into (dummy_udc.0). The chip is plugged in at start and pulled out by SIGTERM or SIGINT. Every
// byte the host sends comes back paced at 10 bits a character at the rate the chip really makes
// of what its driver programmed, while DTR or RTS powers the cable; --runs-at N makes it a clone
// that runs N baud whatever it is told. --car puts the cable on a car's data line instead of
// looping it back (FAULTS as after --simulate=, "car" for a good car): what comes back is the
// echo and the car's modules, and SIGTERM first logs the modes the car heard ("car heard 8,1,9").
// LOG gets one line per control request and per change:
//   MS request TYPE REQUEST VALUE INDEX LENGTH [DATA] -> ANSWER|stall
//   MS lines DxRy
//   MS rate asked=A true=T
#include <linux/usb/functionfs.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <mutex>
#include <optional>
#include <set>
#include <thread>

#include "car_line.h"
#include "chip.h"
#include "gadget.h"
#include "paced_echo.h"
#include "serial/simulated_faults.h"

namespace {

std::atomic<bool> stopping = false;

void RequestStop(int) { stopping = true; }
void Interrupt(int) {}

// A request's data as the log shows it: the first 32 bytes, and how many there were if more.
std::string HexBytes(std::span<const std::uint8_t> bytes) {
  constexpr std::size_t kShown = 32;
  std::string text;
  for (const std::uint8_t byte : bytes.first(std::min(bytes.size(), kShown))) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", byte);
    text += two;
  }
  if (bytes.size() > kShown) text += "... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

class LoopedBackChip {
 public:
  LoopedBackChip(Chip& chip, Gadget& gadget, std::ofstream& log, double runsAt, std::optional<CarFaults> car)
      : chip_(chip), gadget_(gadget), log_(log), runsAt_(runsAt) {
    if (car) car_.emplace(*car);
    const auto& endpoints = chip.Identity().endpoints;
    for (std::size_t i = 0; i < endpoints.size(); ++i) {
      if (endpoints[i] == UsbIdentity::Endpoint::BulkIn) bulkIn_ = gadget.Endpoint(i);
      if (endpoints[i] == UsbIdentity::Endpoint::BulkOut) bulkOut_ = gadget.Endpoint(i);
    }
  }

  void Run() {
    // The stop signals go to this thread, the one reading endpoint 0.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread receiver([this] { Receive(); });
    std::thread sender([this] { Send(); });
    pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
    AnswerControl();
    {
      std::lock_guard lock(mutex_);
      due_.notify_all();
    }
    // Wakes both from a blocking read or write on their endpoint.
    pthread_kill(receiver.native_handle(), SIGUSR1);
    pthread_kill(sender.native_handle(), SIGUSR1);
    receiver.join();
    sender.join();
    if (car_) {
      std::string modes;
      for (const int mode : car_->ModesHeard()) modes += (modes.empty() ? "" : ",") + std::to_string(mode);
      Log("car heard " + modes);
    }
  }

 private:
  void Log(const std::string& line) {
    std::lock_guard lock(logMutex_);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(PacedEcho::Clock::now() - start_);
    log_ << ms.count() << ' ' << line << std::endl;
  }

  // Each kind of endpoint failure once: the host's driver not reading is no news after the first.
  void LogFailure(const std::string& what, int error) {
    std::lock_guard lock(logMutex_);
    if (failuresLogged_.insert(what + std::to_string(error)).second) {
      Log(what + " failed: " + std::strerror(error));
    }
  }

  void AnswerControl() {
    while (!stopping) {
      usb_functionfs_event event{};
      const ssize_t got = read(gadget_.Control(), &event, sizeof event);
      if (got < 0 && errno == EINTR) continue;
      if (got != sizeof event) {
        Log(std::string("endpoint 0 failed: ") + std::strerror(errno));
        return;
      }
      if (event.type == FUNCTIONFS_SETUP) Answer(event.u.setup);
      if (event.type == FUNCTIONFS_ENABLE) Log("configured");
      if (event.type == FUNCTIONFS_DISABLE) Log("deconfigured");
    }
  }

  void Answer(const usb_ctrlrequest& request) {
    const Setup setup{request.bRequestType, request.bRequest, le16toh(request.wValue),
                      le16toh(request.wIndex), le16toh(request.wLength)};
    std::vector<std::uint8_t> data;
    if (!setup.In() && setup.length > 0) {
      data.resize(setup.length);
      const ssize_t got = read(gadget_.Control(), data.data(), data.size());
      data.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    }
    std::unique_lock lock(mutex_);
    const LineState before = chip_.Line();
    const auto answer = chip_.Control(setup, data);
    const LineState after = chip_.Line();
    lock.unlock();

    char head[64];
    std::snprintf(head, sizeof head, "request %02x %02x %04x %04x %u", setup.requestType, setup.request,
                  setup.value, setup.index, setup.length);
    std::string line = head;
    if (!data.empty()) line += " " + HexBytes(data);
    if (!answer) {
      // Endpoint 0 read against an IN request, or written against an OUT one, stalls it.
      if (setup.In()) {
        [[maybe_unused]] const ssize_t ignored = read(gadget_.Control(), nullptr, 0);
      } else {
        [[maybe_unused]] const ssize_t ignored = write(gadget_.Control(), nullptr, 0);
      }
      line += " -> stall";
    } else if (setup.In()) {
      [[maybe_unused]] const ssize_t ignored = write(gadget_.Control(), answer->data(), answer->size());
      line += " -> " + (answer->empty() ? std::string("(empty)") : HexBytes(*answer));
    } else {
      if (setup.length == 0) {
        [[maybe_unused]] const ssize_t ignored = read(gadget_.Control(), nullptr, 0);
      }
      line += " -> ok";
    }
    Log(line);
    if (before.dtr != after.dtr || before.rts != after.rts) {
      Log(std::string("lines D") + (after.dtr ? "1" : "0") + "R" + (after.rts ? "1" : "0"));
    }
    if (before.askedRate != after.askedRate || before.trueRate != after.trueRate) {
      char rate[96];
      std::snprintf(rate, sizeof rate, "rate asked=%.2f true=%.2f", after.askedRate,
                    runsAt_ > 0 ? runsAt_ : after.trueRate);
      Log(rate);
    }
  }

  // What the host sends goes out of the chip's TX pin and, looped back, into its RX pin: paced
  // at the rate the chip really runs, and only while the cable has power.
  void Receive() {
    // A packet at a time: a longer read would wait for a short packet to end it, and a block
    // of whole packets has none. Full speed's bulk packets are 64 bytes.
    std::vector<std::uint8_t> buffer(64);
    while (!stopping) {
      const ssize_t got = read(bulkOut_, buffer.data(), buffer.size());
      if (got <= 0) {
        if (!stopping && errno != EINTR) {
          LogFailure("reading the bulk OUT endpoint", errno);
          std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        continue;
      }
      std::lock_guard lock(mutex_);
      const LineState& line = chip_.Line();
      if (!line.dtr && !line.rts) continue;
      const double rate = runsAt_ > 0 ? runsAt_ : line.trueRate > 0 ? line.trueRate : 9600;
      const auto bytes = std::span(buffer.data(), static_cast<std::size_t>(got));
      if (car_) {
        car_->SetRate(rate);
        car_->Accept(bytes, PacedEcho::Clock::now());
      } else {
        echo_.SetRate(rate);
        echo_.Accept(bytes, PacedEcho::Clock::now());
      }
      due_.notify_all();
    }
  }

  void Send() {
    while (!stopping) {
      std::unique_lock lock(mutex_);
      const auto next = car_ ? car_->NextDue() : echo_.NextDue();
      if (!next) {
        due_.wait(lock);
        continue;
      }
      if (PacedEcho::Clock::now() < *next) {
        due_.wait_until(lock, *next);
        continue;
      }
      std::vector<std::uint8_t> bytes = car_ ? car_->TakeDue(PacedEcho::Clock::now()) : echo_.TakeDue(PacedEcho::Clock::now());
      // An unpowered cable hears nothing of the line.
      if (!chip_.Line().dtr && !chip_.Line().rts) bytes.clear();
      lock.unlock();
      if (bytes.empty()) continue;
      // A host that is not reading (its port closed) holds the write, as the chip's FIFO holds
      // what the host has not fetched.
      if (write(bulkIn_, bytes.data(), bytes.size()) < 0 && errno != EINTR && !stopping) {
        LogFailure("writing the bulk IN endpoint", errno);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
    }
  }

  Chip& chip_;
  Gadget& gadget_;
  std::ofstream& log_;
  double runsAt_;
  int bulkIn_ = -1;
  int bulkOut_ = -1;
  std::mutex mutex_;
  std::recursive_mutex logMutex_;
  std::set<std::string> failuresLogged_;
  std::condition_variable due_;
  PacedEcho echo_;
  std::optional<CarLine> car_;
  const PacedEcho::Clock::time_point start_ = PacedEcho::Clock::now();
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc < 4) {
    std::cerr << "usage: aldl-hwtest-chip CHIP CONTROLLER LOG [--runs-at N] [--serial TEXT] [--car FAULTS]\n";
    return 64;
  }
  const std::string name = argv[1];
  double runsAt = 0;
  std::string serial = "ALDL" + std::to_string(getpid());
  std::optional<CarFaults> car;
  for (int i = 4; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--runs-at") == 0) runsAt = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--serial") == 0) serial = argv[i + 1];
    if (std::strcmp(argv[i], "--car") == 0) {
      car = ParseSimFaults(argv[i + 1]).car;
      car->present = true;
    }
  }
  const auto chip = MakeChip(name);
  if (!chip) {
    std::cerr << "aldl-hwtest-chip: no chip " << name << '\n';
    return 64;
  }
  struct sigaction stop{};
  stop.sa_handler = RequestStop;
  sigaction(SIGTERM, &stop, nullptr);
  sigaction(SIGINT, &stop, nullptr);
  struct sigaction wake{};
  wake.sa_handler = Interrupt;
  sigaction(SIGUSR1, &wake, nullptr);

  std::ofstream log(argv[3], std::ios::app);
  try {
    std::string gadgetName = name + std::to_string(getpid());
    std::erase(gadgetName, '-');
    Gadget gadget(gadgetName, chip->Identity(), serial);
    gadget.Plug(argv[2]);
    log << "0 plugged " << name << (runsAt > 0 ? " running at " + std::to_string(runsAt) : "") << std::endl;
    LoopedBackChip(*chip, gadget, log, runsAt, car).Run();
    gadget.Unplug();
    log << "unplugged" << std::endl;
  } catch (const std::exception& failure) {
    std::cerr << "aldl-hwtest-chip: " << failure.what() << '\n';
    log << "failed: " << failure.what() << std::endl;
    return 1;
  }
  return 0;
}
