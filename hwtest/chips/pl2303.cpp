// Prolific PL2303 (067b:2303) of type H, the one whose identity this gadget can show (the HX
// needs a USB 1.1 device descriptor, which the gadget framework does not give). Its line
// request carries the rate either directly or, with bit 31 set, as a divisor of 12 MHz x 32:
// a 9-bit mantissa and a power of 4 in bits 9-11.
#include <cmath>

#include "chip.h"

namespace {

constexpr std::uint8_t kVendorRequest = 0x01;
constexpr std::uint8_t kSetLine = 0x20;
constexpr std::uint8_t kGetLine = 0x21;
constexpr std::uint8_t kSetControl = 0x22;

class Pl2303 final : public Chip {
 public:
  UsbIdentity Identity() const override {
    // Device class 2 is how the type H shows itself to its driver.
    return {0x067b, 0x2303, 0x0300, 0x02, "Prolific Technology Inc.", "USB-Serial Controller",
            0xff, 0x00, 0x00,
            {UsbIdentity::Endpoint::InterruptIn, UsbIdentity::Endpoint::BulkOut, UsbIdentity::Endpoint::BulkIn}};
  }

  std::optional<std::vector<std::uint8_t>> Control(const Setup& setup,
                                                   std::span<const std::uint8_t> data) override {
    if ((setup.requestType & 0x60) == 0x40 && setup.request == kVendorRequest) {
      return std::vector<std::uint8_t>(setup.In() ? setup.length : 0);
    }
    switch (setup.request) {
      case kSetLine:
        if (data.size() >= 7) {
          lineCoding_.assign(data.begin(), data.begin() + 7);
          SetRate(Le32(data));
        }
        return std::vector<std::uint8_t>{};
      case kGetLine:
        return Answer(lineCoding_, setup);
      case kSetControl:
        line_.dtr = setup.value & 0x01;
        line_.rts = setup.value & 0x02;
        return std::vector<std::uint8_t>{};
      default:
        return std::vector<std::uint8_t>(setup.In() ? setup.length : 0);
    }
  }

 private:
  void SetRate(std::uint32_t encoded) {
    if ((encoded & 0x80000000u) == 0) {
      line_.askedRate = line_.trueRate = encoded;
      return;
    }
    const std::uint32_t mantissa = encoded & 0x1ff;
    const std::uint32_t exponent = (encoded >> 9) & 0x07;
    if (mantissa == 0) return;
    line_.trueRate = 12e6 * 32 / mantissa / std::pow(4.0, exponent);
    line_.askedRate = line_.trueRate;
  }

  std::vector<std::uint8_t> lineCoding_{0x80, 0x25, 0x00, 0x00, 0x00, 0x00, 0x08};  // 9600 8N1
};

}  // namespace

std::unique_ptr<Chip> MakePl2303() { return std::make_unique<Pl2303>(); }
