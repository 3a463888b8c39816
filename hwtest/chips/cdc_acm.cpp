// A CDC-ACM adaptor (0483:5740, a microcontroller's virtual COM port, which makes any rate
// its UART divider allows): SET_LINE_CODING names the rate, SET_CONTROL_LINE_STATE the
// lines (bit 0 DTR, bit 1 RTS). One interface with all three endpoints, which cdc-acm takes
// when a device has no union descriptor.
#include "chip.h"

namespace {

constexpr std::uint8_t kSetLineCoding = 0x20;
constexpr std::uint8_t kGetLineCoding = 0x21;
constexpr std::uint8_t kSetControlLineState = 0x22;

class CdcAcm final : public Chip {
 public:
  UsbIdentity Identity() const override {
    return {0x0483, 0x5740, 0x0200, 0x00, "STMicroelectronics", "Virtual COM Port", 0x02, 0x02, 0x01,
            {UsbIdentity::Endpoint::InterruptIn, UsbIdentity::Endpoint::BulkIn, UsbIdentity::Endpoint::BulkOut}};
  }

  std::optional<std::vector<std::uint8_t>> Control(const Setup& setup,
                                                   std::span<const std::uint8_t> data) override {
    switch (setup.request) {
      case kSetLineCoding:
        if (data.size() >= 7) {
          lineCoding_.assign(data.begin(), data.begin() + 7);
          line_.askedRate = line_.trueRate = Le32(data);
        }
        return std::vector<std::uint8_t>{};
      case kGetLineCoding:
        return Answer(lineCoding_, setup);
      case kSetControlLineState:
        line_.dtr = setup.value & 0x01;
        line_.rts = setup.value & 0x02;
        return std::vector<std::uint8_t>{};
      default:
        return std::nullopt;
    }
  }

 private:
  std::vector<std::uint8_t> lineCoding_{0x00, 0xc2, 0x01, 0x00, 0x00, 0x00, 0x08};  // 115200 8N1
};

}  // namespace

std::unique_ptr<Chip> MakeCdcAcm() { return std::make_unique<CdcAcm>(); }
