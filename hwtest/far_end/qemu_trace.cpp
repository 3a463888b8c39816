#include "qemu_trace.h"

#include <charconv>

namespace {

// The FTDI vendor requests as QEMU logs them: request type 0x40 in the high byte.
constexpr int kSetModemControl = 0x4001;
constexpr int kSetLatencyTimer = 0x4009;
constexpr int kDtr = 0x0001;
constexpr int kRts = 0x0002;
constexpr int kChangeDtr = 0x0100;
constexpr int kChangeRts = 0x0200;

std::optional<int> NumberAfter(std::string_view line, std::string_view label, int base) {
  const auto at = line.find(label);
  if (at == std::string_view::npos) return std::nullopt;
  const char* first = line.data() + at + label.size();
  int value = 0;
  const auto [end, error] = std::from_chars(first, line.data() + line.size(), value, base);
  if (error != std::errc() || end == first) return std::nullopt;
  return value;
}

}  // namespace

bool ApplyTraceLine(std::string_view line, ChipState& state) {
  if (line.find("usb_serial_set_baud") != std::string_view::npos) {
    const auto rate = NumberAfter(line, "baud rate ", 10);
    if (!rate) return false;
    state.rate = *rate;
    return true;
  }
  if (line.find("usb_serial_handle_control") == std::string_view::npos) return false;
  const auto request = NumberAfter(line, "got control 0x", 16);
  const auto value = NumberAfter(line, "value 0x", 16);
  if (request && value && *request == kSetLatencyTimer) {
    state.latencyMs = *value & 0xFF;
    return true;
  }
  if (!request || !value || *request != kSetModemControl) return false;
  if (*value & kChangeDtr) state.dtr = (*value & kDtr) != 0;
  if (*value & kChangeRts) state.rts = (*value & kRts) != 0;
  return (*value & (kChangeDtr | kChangeRts)) != 0;
}
