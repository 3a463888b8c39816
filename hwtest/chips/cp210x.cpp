// Silicon Labs CP2102 and CP2102N (10c4:ea60), as their data sheets and AN571 describe the
// vendor requests. Both make their rate by dividing a 24 MHz clock; the part number, which the
// driver asks for before anything else, tells it which one it has.
#include <cmath>

#include "chip.h"

namespace {

constexpr std::uint8_t kIfcEnable = 0x00;
constexpr std::uint8_t kSetBaudDiv = 0x01;
constexpr std::uint8_t kSetLineCtl = 0x03;
constexpr std::uint8_t kGetLineCtl = 0x04;
constexpr std::uint8_t kSetMhs = 0x07;
constexpr std::uint8_t kGetMdmsts = 0x08;
constexpr std::uint8_t kSetFlow = 0x13;
constexpr std::uint8_t kGetFlow = 0x14;
constexpr std::uint8_t kGetBaudRate = 0x1d;
constexpr std::uint8_t kSetBaudRate = 0x1e;
constexpr std::uint8_t kVendorSpecific = 0xff;
constexpr std::uint16_t kGetPartNumber = 0x370b;
constexpr std::uint16_t kGetFirmwareVersion2N = 0x0010;

constexpr double kClock = 24e6;

class Cp210x final : public Chip {
 public:
  explicit Cp210x(bool cp2102n) : cp2102n_(cp2102n) {}

  UsbIdentity Identity() const override {
    return {0x10c4, 0xea60, 0x0100, 0x00, "Silicon Labs",
            cp2102n_ ? "CP2102N USB to UART Bridge Controller" : "CP2102 USB to UART Bridge Controller",
            0xff, 0x00, 0x00, {UsbIdentity::Endpoint::BulkOut, UsbIdentity::Endpoint::BulkIn}};
  }

  std::optional<std::vector<std::uint8_t>> Control(const Setup& setup,
                                                   std::span<const std::uint8_t> data) override {
    switch (setup.request) {
      case kVendorSpecific:
        // Asked for two bytes, a genuine chip gives two; a copy gives one, which the driver
        // takes for a chip without event-insertion mode.
        if (setup.value == kGetPartNumber) return Answer({cp2102n_ ? std::uint8_t{0x20} : std::uint8_t{0x02}, 0x00}, setup);
        if (setup.value == kGetFirmwareVersion2N && cp2102n_) return Answer({1, 0, 8}, setup);
        return std::vector<std::uint8_t>(setup.In() ? setup.length : 0);
      case kSetBaudRate:
        SetRate(Le32(data));
        return std::vector<std::uint8_t>{};
      case kSetBaudDiv:
        // The old way: a divisor of 3.6864 MHz.
        if (setup.value != 0) SetRate(3686400.0 / setup.value);
        return std::vector<std::uint8_t>{};
      case kGetBaudRate:
        return Answer(AsLe32(static_cast<std::uint32_t>(line_.askedRate)), setup);
      case kSetLineCtl:
        lineControl_ = setup.value;
        return std::vector<std::uint8_t>{};
      case kGetLineCtl:
        return Answer({static_cast<std::uint8_t>(lineControl_), static_cast<std::uint8_t>(lineControl_ >> 8)}, setup);
      case kSetMhs:
        // Bits 8 and 9 say which of DTR (bit 0) and RTS (bit 1) the request sets.
        if (setup.value & 0x0100) line_.dtr = setup.value & 0x0001;
        if (setup.value & 0x0200) line_.rts = setup.value & 0x0002;
        return std::vector<std::uint8_t>{};
      case kGetMdmsts:
        return Answer({static_cast<std::uint8_t>((line_.dtr ? 0x01 : 0) | (line_.rts ? 0x02 : 0))}, setup);
      case kSetFlow:
        // The handshake's DTR mask (bits 0-1) and the flow replacement's RTS mask (bits 6-7):
        // 1 holds the line active, 0 inactive.
        if (data.size() >= 8) {
          flow_.assign(data.begin(), data.end());
          const std::uint32_t dtrMask = Le32(data, 0) & 0x03;
          const std::uint32_t rtsMask = (Le32(data, 4) >> 6) & 0x03;
          if (dtrMask < 2) line_.dtr = dtrMask == 1;
          if (rtsMask < 2) line_.rts = rtsMask == 1;
        }
        return std::vector<std::uint8_t>{};
      case kGetFlow:
        return Answer(flow_, setup);
      case kIfcEnable:
      default:
        return std::vector<std::uint8_t>(setup.In() ? setup.length : 0);
    }
  }

 private:
  void SetRate(double asked) {
    line_.askedRate = asked;
    line_.trueRate = asked > 0 ? kClock / std::round(kClock / asked) : 0;
  }

  bool cp2102n_;
  std::uint16_t lineControl_ = 0x0800;  // 8 data bits, no parity, 1 stop bit
  std::vector<std::uint8_t> flow_ = std::vector<std::uint8_t>(16);
};

}  // namespace

std::unique_ptr<Chip> MakeCp210x(bool cp2102n) { return std::make_unique<Cp210x>(cp2102n); }
