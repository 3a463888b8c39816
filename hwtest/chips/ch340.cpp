// WCH CH340 (1a86:7523), version 0x31, as its data sheet describes the registers its driver
// writes. The rate is 48 MHz divided by a prescaler (register 0x12) and by 256 less the
// divisor register (0x13); the modem lines are the inverted bits 5 (DTR) and 6 (RTS) of the
// modem control request.
#include <map>

#include "chip.h"

namespace {

constexpr std::uint8_t kReadVersion = 0x5f;
constexpr std::uint8_t kReadRegister = 0x95;
constexpr std::uint8_t kWriteRegister = 0x9a;
constexpr std::uint8_t kSerialInit = 0xa1;
constexpr std::uint8_t kModemControl = 0xa4;
constexpr std::uint8_t kPrescalerRegister = 0x12;
constexpr std::uint8_t kDivisorRegister = 0x13;

class Ch340 final : public Chip {
 public:
  UsbIdentity Identity() const override {
    return {0x1a86, 0x7523, 0x0264, 0xff, "", "USB Serial", 0xff, 0x01, 0x02,
            {UsbIdentity::Endpoint::BulkIn, UsbIdentity::Endpoint::BulkOut, UsbIdentity::Endpoint::InterruptIn}};
  }

  std::optional<std::vector<std::uint8_t>> Control(const Setup& setup,
                                                   std::span<const std::uint8_t>) override {
    switch (setup.request) {
      case kReadVersion:
        return Answer({0x31, 0x00}, setup);
      case kReadRegister:
        return Answer({Register(setup.value & 0xff), Register(setup.value >> 8)}, setup);
      case kWriteRegister:
      case kSerialInit:
        // Each writes a pair of registers: the value names them, the index holds their bytes.
        if (setup.request == kWriteRegister || setup.value != 0) {
          registers_[setup.value & 0xff] = setup.index & 0xff;
          registers_[setup.value >> 8] = setup.index >> 8;
          UpdateRate();
        }
        return std::vector<std::uint8_t>{};
      case kModemControl:
        line_.dtr = (setup.value & 0x20) == 0;
        line_.rts = (setup.value & 0x40) == 0;
        return std::vector<std::uint8_t>{};
      default:
        return std::vector<std::uint8_t>(setup.In() ? setup.length : 0);
    }
  }

 private:
  std::uint8_t Register(std::uint8_t address) const {
    const auto found = registers_.find(address);
    // The modem status registers read 1 for a line not asserted.
    if (found == registers_.end()) return address == 0x06 || address == 0x07 ? 0xff : 0x00;
    return found->second;
  }

  void UpdateRate() {
    if (!registers_.contains(kPrescalerRegister) || !registers_.contains(kDivisorRegister)) return;
    const int prescaler = registers_[kPrescalerRegister];
    const int ps = prescaler & 0x03;
    const int fact = (prescaler >> 2) & 0x01;
    const int divisor = 256 - registers_[kDivisorRegister];
    if (divisor <= 0) return;
    line_.trueRate = 48e6 / ((1 << (12 - 3 * ps - fact)) * divisor);
    line_.askedRate = line_.trueRate;
  }

  std::map<std::uint8_t, std::uint8_t> registers_;
};

}  // namespace

std::unique_ptr<Chip> MakeCh340() { return std::make_unique<Ch340>(); }
