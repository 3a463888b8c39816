// The far end of QEMU's emulated FTDI adaptor: a looped-back cable on the host.
//
//   aldl-hwtest-far-end DATA_SOCKET CONTROL_SOCKET TRACE_FIFO MONITOR_SOCKET DEVICE_ARGS
//
// QEMU connects the adaptor's serial side to DATA_SOCKET and the guest's second UART to
// CONTROL_SOCKET; the trace of the adaptor's control requests arrives through TRACE_FIFO. Every
// byte is echoed, paced at 10 bits a character, while the adaptor is powered. The guest sets
// the case up with one-line commands on the control line, each answered by "ok ..." or
// "error ...":
//   pace N | pace follow      echo at N baud, or at the rate the driver set in the chip
//   power either|dtr|rts      which modem line powers the adaptor
//   mark                      forget the line history and the byte counts
//   lines                     the line states seen since mark, and the bytes received in each
//   rate                      the rate the driver last set in the chip
//   unplug-after N            device_del once N more bytes have been echoed
//   unplug-on DTR RTS MS      device_del MS ms after the lines first take these states
//   disarm                    forget both unplug triggers
//   unplug                    device_del at once, answered once QEMU has done it
//   unplugged                 whether the adaptor has been pulled
//   plug                      device_add DEVICE_ARGS
//   car FAULTS | car off      the cable on a car's data line (FAULTS as after --simulate=, "car"
//                             for a good one), or looped back again
//   heard                     the modes of the frames the car heard, as 8,1,9
//   timer on | timer off      hold what goes back to the chip's latency timer, as FTDI's chips
//                             do, or pass each byte on at once
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <iostream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "car_line.h"
#include "paced_echo.h"
#include "qemu_monitor.h"
#include "qemu_trace.h"
#include "serial/simulated_faults.h"

namespace {

using Clock = PacedEcho::Clock;

int Listen(const std::string& path) {
  unlink(path.c_str());
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 1) != 0) {
    throw std::runtime_error("cannot listen on " + path + ": " + std::strerror(errno));
  }
  return fd;
}

std::string LinesName(bool dtr, bool rts) {
  return std::string("D") + (dtr ? "1" : "0") + "R" + (rts ? "1" : "0");
}

class FarEnd {
 public:
  FarEnd(const std::string& dataPath, const std::string& controlPath, const std::string& tracePath,
         std::string monitorPath, std::string deviceArgs)
      : dataListener_(Listen(dataPath)),
        controlListener_(Listen(controlPath)),
        // Read and write, so that opening never waits for QEMU and QEMU's restarts are no EOF.
        trace_(open(tracePath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC)),
        monitorPath_(std::move(monitorPath)),
        deviceArgs_(std::move(deviceArgs)) {
    if (trace_ < 0) throw std::runtime_error("cannot open " + tracePath + ": " + std::strerror(errno));
    Mark();
  }

  void Run() {
    for (;;) {
      std::vector<pollfd> fds = {{dataListener_, POLLIN, 0}, {controlListener_, POLLIN, 0},
                                 {trace_, POLLIN, 0}, {data_, POLLIN, 0}, {control_, POLLIN, 0}};
      const timespec wait = TimeToNextEvent();
      if (ppoll(fds.data(), fds.size(), &wait, nullptr) < 0 && errno != EINTR) {
        throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
      }
      if (fds[0].revents & POLLIN) data_ = Accept(dataListener_, data_, "data");
      if (fds[1].revents & POLLIN) control_ = Accept(controlListener_, control_, "control");
      if (fds[2].revents & POLLIN) ReadTrace();
      if (fds[3].revents & (POLLIN | POLLHUP)) ReadData();
      if (fds[4].revents & (POLLIN | POLLHUP)) ReadControl();
      SendDueEcho();
      if (unplugAt_ && Clock::now() >= *unplugAt_) Unplug("the timed trigger");
    }
  }

 private:
  static int Accept(int listener, int current, const char* what) {
    const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return current;
    if (current >= 0) close(current);
    Log(std::string(what) + " connection from QEMU");
    return fd;
  }

  static void Log(const std::string& text) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        Clock::now().time_since_epoch()).count();
    std::cerr << ms / 1000 << '.' << (ms % 1000) / 100 << (ms % 100) / 10 << ms % 10 << ' '
              << text << std::endl;
  }

  timespec TimeToNextEvent() const {
    auto next = Clock::now() + std::chrono::milliseconds(200);
    if (const auto due = car_ ? car_->NextDue() : echo_.NextDue()) next = std::min(next, *due);
    if (!held_.empty()) next = std::min(next, heldUntil_);
    if (unplugAt_) next = std::min(next, *unplugAt_);
    const auto wait = std::max(next - Clock::now(), Clock::duration::zero());
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
    return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
  }

  bool Powered() const {
    if (power_ == "dtr") return chip_.dtr;
    if (power_ == "rts") return chip_.rts;
    return chip_.dtr || chip_.rts;
  }

  void ReadTrace() {
    char chunk[4096];
    ssize_t count = 0;
    while ((count = read(trace_, chunk, sizeof chunk)) > 0) {
      traceText_.append(chunk, static_cast<std::size_t>(count));
    }
    for (auto end = traceText_.find('\n'); end != std::string::npos; end = traceText_.find('\n')) {
      const std::string line = traceText_.substr(0, end);
      traceText_.erase(0, end + 1);
      const ChipState before = chip_;
      if (!ApplyTraceLine(line, chip_)) continue;
      if (chip_.rate != before.rate) {
        Log("rate " + std::to_string(chip_.rate));
        if (followRate_) echo_.SetRate(chip_.rate);
        if (car_) car_->SetRate(chip_.rate);
      }
      if (chip_.latencyMs != before.latencyMs) Log("latency timer " + std::to_string(chip_.latencyMs) + " ms");
      if (chip_.dtr != before.dtr || chip_.rts != before.rts) LinesChanged();
    }
  }

  void LinesChanged() {
    const std::string name = LinesName(chip_.dtr, chip_.rts);
    Log("lines " + name);
    if (history_.empty() || history_.back() != name) history_.push_back(name);
    if (unplugOn_ && *unplugOn_ == name && !unplugAt_) {
      unplugAt_ = Clock::now() + unplugDelay_;
      unplugOn_.reset();
    }
  }

  void ReadData() {
    std::uint8_t chunk[4096];
    const ssize_t count = read(data_, chunk, sizeof chunk);
    if (count <= 0) {
      Log("data connection closed");
      close(data_);
      data_ = -1;
      return;
    }
    ReadTrace();  // the line states in force when these bytes left the guest
    received_[LinesName(chip_.dtr, chip_.rts)] += count;
    if (!unplugged_ && Powered()) {
      const std::span<const std::uint8_t> bytes{chunk, static_cast<std::size_t>(count)};
      car_ ? car_->Accept(bytes, Clock::now()) : echo_.Accept(bytes, Clock::now());
    }
  }

  void SendDueEcho() {
    if (data_ < 0) return;
    std::vector<std::uint8_t> due = car_ ? car_->TakeDue(Clock::now()) : echo_.TakeDue(Clock::now());
    // An unpowered cable hears nothing of the line.
    if (car_ && (unplugged_ || !Powered())) due.clear();
    due = HeldByTimer(std::move(due));
    if (unplugAfter_ && due.size() >= *unplugAfter_) {
      due.resize(*unplugAfter_);
      unplugAfter_.reset();
      Send(due);
      Unplug("the echoed-byte trigger");
      return;
    }
    if (unplugAfter_) *unplugAfter_ -= due.size();
    Send(due);
  }

  // With the timer on, what comes back waits in the chip until its latency timer runs out, counted
  // from the first byte it holds, and then goes to the host at once.
  std::vector<std::uint8_t> HeldByTimer(std::vector<std::uint8_t> due) {
    if (!timerOn_) return due;
    const auto now = Clock::now();
    if (held_.empty() && !due.empty()) heldUntil_ = now + std::chrono::milliseconds(chip_.latencyMs);
    held_.insert(held_.end(), due.begin(), due.end());
    if (held_.empty() || now < heldUntil_) return {};
    return std::exchange(held_, {});
  }

  void Send(const std::vector<std::uint8_t>& bytes) {
    if (!bytes.empty() && write(data_, bytes.data(), bytes.size()) < 0) {
      Log(std::string("echo lost: ") + std::strerror(errno));
    }
  }

  // QEMU's answer: "done" once the adaptor is gone.
  std::string Unplug(const std::string& trigger) {
    unplugAt_.reset();
    echo_.Clear();
    held_.clear();
    const std::string answer = Monitor("device_del ftdi");
    unplugged_ = unplugged_ || answer == "done";
    Log("device_del on " + trigger + ": " + answer);
    return answer;
  }

  std::string Monitor(const std::string& command) {
    try {
      const std::string answer = MonitorCommand(monitorPath_, command);
      return answer.empty() ? "done" : answer;
    } catch (const std::runtime_error& error) {
      return std::string("error ") + error.what();
    }
  }

  void Mark() {
    history_ = {LinesName(chip_.dtr, chip_.rts)};
    received_.clear();
  }

  void ReadControl() {
    char chunk[512];
    const ssize_t count = read(control_, chunk, sizeof chunk);
    if (count <= 0) {
      close(control_);
      control_ = -1;
      return;
    }
    controlText_.append(chunk, static_cast<std::size_t>(count));
    for (auto end = controlText_.find('\n'); end != std::string::npos;
         end = controlText_.find('\n')) {
      std::string line = controlText_.substr(0, end);
      controlText_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (line.empty()) continue;
      Log("command: " + line);
      std::string answer;
      try {
        answer = Command(line) + "\n";
      } catch (const std::exception& error) {
        answer = std::string("error ") + error.what() + "\n";
      }
      if (write(control_, answer.data(), answer.size()) < 0) Log("answer lost");
    }
  }

  std::string Command(const std::string& line) {
    std::istringstream words(line);
    std::string verb;
    words >> verb;
    if (verb == "pace") {
      std::string rate;
      words >> rate;
      followRate_ = rate == "follow";
      echo_.SetRate(followRate_ ? chip_.rate : std::stoi(rate));
      return "ok";
    }
    if (verb == "power") {
      words >> power_;
      return "ok";
    }
    if (verb == "mark") {
      Mark();
      return "ok";
    }
    if (verb == "lines") {
      std::string answer = "ok history=";
      for (const auto& name : history_) answer += name + (&name == &history_.back() ? "" : ",");
      answer += " received=";
      for (const auto& [name, bytes] : received_) answer += name + ":" + std::to_string(bytes) + ",";
      if (answer.back() == ',') answer.pop_back();
      return answer;
    }
    if (verb == "rate") return "ok " + std::to_string(chip_.rate);
    if (verb == "unplug-after") {
      std::size_t bytes = 0;
      words >> bytes;
      unplugAfter_ = bytes;
      return "ok";
    }
    if (verb == "unplug-on") {
      int dtr = 0, rts = 0, ms = 0;
      words >> dtr >> rts >> ms;
      unplugOn_ = LinesName(dtr != 0, rts != 0);
      unplugDelay_ = std::chrono::milliseconds(ms);
      return "ok";
    }
    if (verb == "disarm") {
      unplugAfter_.reset();
      unplugOn_.reset();
      unplugAt_.reset();
      return "ok";
    }
    if (verb == "unplug") {
      const std::string answer = Unplug("the unplug order");
      return answer == "done" ? "ok" : "error " + answer;
    }
    if (verb == "unplugged") return std::string("ok ") + (unplugged_ ? "yes" : "no");
    if (verb == "car") {
      std::string faults;
      std::getline(words >> std::ws, faults);
      if (faults == "off") {
        car_.reset();
        return "ok";
      }
      CarFaults car = ParseSimFaults(faults).car;
      car.present = true;
      car_.emplace(car);
      car_->SetRate(chip_.rate);
      return "ok";
    }
    if (verb == "heard") {
      std::string modes;
      if (car_) {
        for (const int mode : car_->ModesHeard()) modes += (modes.empty() ? "" : ",") + std::to_string(mode);
      }
      return "ok " + modes;
    }
    if (verb == "timer") {
      std::string state;
      words >> state;
      timerOn_ = state == "on";
      held_.clear();
      return "ok";
    }
    if (verb == "plug") {
      const std::string answer = Monitor("device_add " + deviceArgs_);
      if (answer != "done") return "error " + answer;
      unplugged_ = false;
      chip_.dtr = chip_.rts = false;
      return "ok";
    }
    return "error unknown command";
  }

  int dataListener_;
  int controlListener_;
  int trace_;
  int data_ = -1;
  int control_ = -1;
  std::string monitorPath_;
  std::string deviceArgs_;
  std::string traceText_;
  std::string controlText_;

  ChipState chip_;
  PacedEcho echo_;
  std::optional<CarLine> car_;
  bool timerOn_ = false;
  std::vector<std::uint8_t> held_;
  Clock::time_point heldUntil_{};
  bool followRate_ = false;
  std::string power_ = "either";
  std::vector<std::string> history_;
  std::map<std::string, long> received_;
  bool unplugged_ = false;
  std::optional<std::size_t> unplugAfter_;
  std::optional<std::string> unplugOn_;
  std::chrono::milliseconds unplugDelay_{0};
  std::optional<Clock::time_point> unplugAt_;
};

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 6) {
    std::cerr << "usage: " << argv[0]
              << " DATA_SOCKET CONTROL_SOCKET TRACE_FIFO MONITOR_SOCKET DEVICE_ARGS\n";
    return 64;
  }
  try {
    FarEnd(argv[1], argv[2], argv[3], argv[4], argv[5]).Run();
  } catch (const std::exception& error) {
    std::cerr << "far end: " << error.what() << '\n';
    return 1;
  }
}
