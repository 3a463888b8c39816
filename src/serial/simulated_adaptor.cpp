#include "serial/simulated_adaptor.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <deque>
#include <limits>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>

#include "serial/comm_error.h"

namespace {

constexpr std::string_view kName = "sim";
constexpr double kBitsPerCharacter = 10.0;
constexpr double kEchoDelayMs = 10.0;
// A latency timer's burst reaches the port within the next USB frame.
constexpr double kUsbFrameMs = 1.0;
// The byte an adaptor adds of its own comes after the block, as the line settles.
constexpr std::uint8_t kExtraByte = 0x00;
constexpr double kExtraByteAfterMs = 3.0;
constexpr std::uint8_t kNoiseMask = 0xFF;
constexpr std::uint32_t kFreshRate = 9600;

constexpr std::array<std::uint32_t, 20> kStandardRates = {
    50,   75,   110,  134,   150,   200,   300,    600,    1200,   1800,
    2400, 4800, 9600, 19200, 38400, 57600, 115200, 230400, 460800, 921600};

// The line, the adaptor on it and the one connection to its port. Times are milliseconds on a
// timeline that starts at the first clock reading and does not wrap.
class SimulatedLine {
 public:
  SimulatedLine(SimFaults faults, MillisecondSource now)
      : faults_(std::move(faults)), now_(std::move(now)),
        lastReading_(static_cast<std::uint32_t>(now_())) {
    if (faults_.car.present) car_.emplace(faults_.car);
  }

  std::optional<std::string> Unavailability() {
    ReadClock();
    if (Unplugged()) return std::string(kName) + " does not exist: the adaptor was unplugged";
    if (open_) return std::string(kName) + " is busy: another program has it open";
    return std::nullopt;
  }

  void Open() {
    if (const auto why = Unavailability()) throw CommError(CommErrorNumber::PortUnavailable, *why);
    if (faults_.unplugAfterMs && !unplugAtMs_) unplugAtMs_ = nowMs_ + *faults_.unplugAfterMs;
    open_ = true;
    settings_ = DCB{kDcbLength, kFreshRate, 8, NOPARITY, ONESTOPBIT};
    lineFreeAtMs_ = static_cast<double>(nowMs_);
    // What the car said while the port was closed went unheard.
    if (car_) car_->Advance(static_cast<double>(nowMs_));
  }

  bool Lost() const { return lost_; }

  void SetFarewell(std::span<const std::uint8_t> bytes) { farewell_.assign(bytes.begin(), bytes.end()); }

  std::vector<FrameBytes> CarHeard() const { return car_ ? car_->HeardFromTester() : std::vector<FrameBytes>{}; }

  void Close() {
    SayFarewell();
    open_ = false;
    lost_ = false;
    dtr_ = rts_ = false;
    sending_.clear();
    received_.clear();
    // What a chip holds for its latency stays in it, powered from USB, through a reopen.
    if (!faults_.latencyMs && !faults_.timerMs) inFlight_.clear();
  }

  DCB State() {
    CatchUp();
    return settings_;
  }

  bool Apply(const DCB& settings) {
    CatchUp();
    const bool standard = std::ranges::find(kStandardRates, settings.BaudRate) !=
                          kStandardRates.end();
    const bool rateFits = settings.BaudRate > 0 &&
                          settings.BaudRate <= std::numeric_limits<std::int32_t>::max() &&
                          (standard || !faults_.stdRates);
    if (!rateFits || settings.ByteSize < 5 || settings.ByteSize > 8) return false;
    settings_ = DCB{kDcbLength, settings.BaudRate, settings.ByteSize, settings.Parity,
                    settings.StopBits};
    return true;
  }

  void SetModemLines(bool dtr, bool rts) {
    CatchUp();
    dtr_ = dtr;
    rts_ = rts;
  }

  int InputCount() {
    CatchUp();
    return static_cast<int>(received_.size());
  }

  int OutputCount() {
    CatchUp();
    return static_cast<int>(sending_.size());
  }

  bool WaitForInput(std::int32_t count, std::int32_t ms) {
    CatchUp();
    const auto waiting = static_cast<std::int64_t>(received_.size());
    if (waiting >= count) return true;
    return SleepUntil(ArrivalOf(static_cast<std::size_t>(count - waiting)), ms);
  }

  bool WaitForOutputEmpty(std::int32_t ms) {
    CatchUp();
    if (sending_.empty()) return true;
    return SleepUntil(sending_.back().atMs, ms);
  }

  void DiscardInput() {
    CatchUp();
    received_.clear();
  }

  void DiscardOutput() {
    CatchUp();
    sending_.clear();
    if (car_) car_->Withdraw(static_cast<double>(nowMs_));
    lineFreeAtMs_ = static_cast<double>(nowMs_);
  }

  void Write(std::span<const std::uint8_t> bytes) {
    CatchUp();
    const double characterMs =
        kBitsPerCharacter * 1000.0 / faults_.lineRate.value_or(settings_.BaudRate);
    const double startMs = std::max(static_cast<double>(nowMs_), lineFreeAtMs_);
    for (std::size_t k = 0; k < bytes.size(); ++k) {
      const bool altered = faults_.noise && k + 1 == bytes.size();
      const auto echo = static_cast<std::uint8_t>(altered ? bytes[k] ^ kNoiseMask : bytes[k]);
      const double endMs = startMs + static_cast<double>(k + 1) * characterMs;
      sending_.push_back({echo, endMs, k + 1 == bytes.size()});
      if (car_ && Powered()) car_->Transmit(echo, endMs, characterMs);
    }
    if (!bytes.empty()) lineFreeAtMs_ = sending_.back().atMs;
  }

  ByteBuffer Read(std::size_t max) {
    CatchUp();
    const auto count = static_cast<std::ptrdiff_t>(std::min(max, received_.size()));
    ByteBuffer bytes(received_.begin(), received_.begin() + count);
    received_.erase(received_.begin(), received_.begin() + count);
    return bytes;
  }

 private:
  struct TimedByte {
    std::uint8_t byte;
    double atMs;  // when it finishes leaving, or when it arrives back
    bool endsBlock = false;
  };

  void ReadClock() {
    const auto reading = static_cast<std::uint32_t>(now_());
    nowMs_ += reading - lastReading_;
    lastReading_ = reading;
  }

  // When the nth byte from now comes into the input queue, if it ever does.
  std::optional<double> ArrivalOf(std::size_t nth) const {
    if (!Powered() || faults_.dead) return std::nullopt;
    if (nth <= inFlight_.size()) return inFlight_[nth - 1].atMs;
    // The car may say something at its next change.
    if (car_) {
      const auto next = car_->NextChangeMs();
      if (!next) return std::nullopt;
      return ArrivalAfter(*next);
    }
    nth -= inFlight_.size();
    if (nth <= sending_.size()) return ArrivalAfter(sending_[nth - 1].atMs);
    return std::nullopt;
  }

  // Sleeps in real time until the clock reads the first whole ms at or past changeAtMs, or the
  // adaptor is pulled, but for at most ms. True when the change is due by then.
  bool SleepUntil(std::optional<double> changeAtMs, std::int32_t ms) const {
    if (unplugAtMs_) {
      changeAtMs = std::min(changeAtMs.value_or(static_cast<double>(*unplugAtMs_)),
                            static_cast<double>(*unplugAtMs_));
    }
    const std::int64_t dueMs = changeAtMs
                                   ? static_cast<std::int64_t>(std::ceil(*changeAtMs)) - nowMs_
                                   : std::numeric_limits<std::int64_t>::max();
    std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::int64_t>(dueMs, ms)));
    return dueMs <= ms;
  }

  bool Unplugged() const { return unplugAtMs_ && nowMs_ >= *unplugAtMs_; }

  // A byte the line brought back to the adaptor, its last bit at endMs, on its way to the port.
  void Carry(std::uint8_t byte, double endMs) { inFlight_.push_back({byte, ArrivalAfter(endMs)}); }

  // When the adaptor hands a byte on: after its latency, or at the next tick of its latency timer.
  double ArrivalAfter(double endMs) const {
    if (faults_.latencyMs) return endMs + *faults_.latencyMs;
    if (faults_.timerMs) return std::ceil(endMs / *faults_.timerMs) * *faults_.timerMs + kUsbFrameMs;
    return endMs + kEchoDelayMs;
  }

  // A byte into the input queue, through the adaptor's faults of its receiver.
  void Receive(std::uint8_t byte) {
    ++returned_;
    if (faults_.deadAfter && returned_ > *faults_.deadAfter) return;
    if (faults_.loseEvery && returned_ % *faults_.loseEvery == 0) return;
    if (faults_.stuckHighBit) byte = static_cast<std::uint8_t>(byte | 1 << *faults_.stuckHighBit);
    if (faults_.stuckLowBit) byte = static_cast<std::uint8_t>(byte & ~(1 << *faults_.stuckLowBit));
    received_.push_back(byte);
  }

  // A port that closes still sends what it owes the line, while the adaptor has power; the car
  // hears it out.
  void SayFarewell() {
    const ByteBuffer farewell = std::exchange(farewell_, {});
    if (farewell.empty() || lost_ || Unplugged()) return;
    try {
      Write(farewell);
    } catch (const CommError&) {
      return;
    }
    if (car_ && !sending_.empty()) car_->Advance(sending_.back().atMs + 1);
  }

  bool Powered() const { return (dtr_ && !faults_.noDtr) || (rts_ && !faults_.noRts); }

  // Brings the line up to now. The lines only change after this, so the power in force now is
  // the power every byte arriving since the last operation met.
  void CatchUp() {
    ReadClock();
    if (Unplugged()) {
      lost_ = true;
      throw CommError(CommErrorNumber::DeviceFailure, "the adaptor was unplugged");
    }
    const auto now = static_cast<double>(nowMs_);
    while (!sending_.empty() && sending_.front().atMs <= now) {
      const TimedByte left = sending_.front();
      sending_.pop_front();
      if (!car_) Carry(left.byte, left.atMs);
      if (left.endsBlock && faults_.extraByte) Carry(kExtraByte, left.atMs + kExtraByteAfterMs);
    }
    if (car_) {
      for (const WireCharacter& heard : car_->Advance(now)) Carry(heard.byte, heard.endMs);
    }
    while (!inFlight_.empty() && inFlight_.front().atMs <= now) {
      if (Powered() && !faults_.dead) Receive(inFlight_.front().byte);
      inFlight_.pop_front();
    }
  }

  SimFaults faults_;
  MillisecondSource now_;
  std::uint32_t lastReading_;
  std::int64_t nowMs_ = 0;
  std::optional<std::int64_t> unplugAtMs_;

  bool open_ = false;
  bool lost_ = false;
  DCB settings_;
  bool dtr_ = false;
  bool rts_ = false;
  double lineFreeAtMs_ = 0;
  std::deque<TimedByte> sending_;
  std::deque<TimedByte> inFlight_;
  std::deque<std::uint8_t> received_;
  ByteBuffer farewell_;
  std::optional<SimulatedCar> car_;
  // Bytes the adaptor's receiver has handed on since it was first opened.
  std::int64_t returned_ = 0;
};

class SimulatedConnection final : public SerialDevice {
 public:
  explicit SimulatedConnection(std::shared_ptr<SimulatedLine> line) : line_(std::move(line)) {}
  ~SimulatedConnection() override { line_->Close(); }

  SimulatedConnection(const SimulatedConnection&) = delete;
  SimulatedConnection& operator=(const SimulatedConnection&) = delete;

  DCB State() override { return line_->State(); }
  bool Apply(const DCB& settings) override { return line_->Apply(settings); }
  void SetModemLines(bool dtr, bool rts) override { line_->SetModemLines(dtr, rts); }
  int InputCount() override { return line_->InputCount(); }
  int OutputCount() override { return line_->OutputCount(); }
  bool WaitForInput(std::int32_t count, std::int32_t ms) override {
    return line_->WaitForInput(count, ms);
  }
  bool WaitForOutputEmpty(std::int32_t ms) override { return line_->WaitForOutputEmpty(ms); }
  void DiscardInput() override { line_->DiscardInput(); }
  void DiscardOutput() override { line_->DiscardOutput(); }
  void Write(std::span<const std::uint8_t> bytes) override { line_->Write(bytes); }
  ByteBuffer Read(std::size_t max) override { return line_->Read(max); }
  void SetFarewell(std::span<const std::uint8_t> bytes) override { line_->SetFarewell(bytes); }
  bool Lost() const override { return line_->Lost(); }

 private:
  std::shared_ptr<SimulatedLine> line_;
};

}  // namespace

struct SimulatedAdaptor::Shared : SimulatedLine {
  using SimulatedLine::SimulatedLine;
};

SimulatedAdaptor::SimulatedAdaptor(SimFaults faults, MillisecondSource now)
    : shared_(std::make_shared<Shared>(std::move(faults), std::move(now))) {}

SimulatedAdaptor::~SimulatedAdaptor() = default;

std::optional<std::string> SimulatedAdaptor::Unavailability() { return shared_->Unavailability(); }

std::vector<FrameBytes> SimulatedAdaptor::CarHeard() const { return shared_->CarHeard(); }

std::unique_ptr<SerialDevice> SimulatedAdaptor::Connect() {
  shared_->Open();
  return std::make_unique<SimulatedConnection>(shared_);
}
