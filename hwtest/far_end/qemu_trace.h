#pragma once

#include <optional>
#include <string_view>

// What the emulated FTDI chip was told, as QEMU's trace of its control requests says it.
struct ChipState {
  bool dtr = false;
  bool rts = false;
  int rate = 0;  // baud, 0 until the driver sets one
  int latencyMs = 16;  // the latency timer, 16 ms from reset as FTDI's chips have it
};

// Applies one line of `-trace usb_serial_handle_control -trace usb_serial_set_baud` output to
// the state; false when the line changes nothing the far end cares about.
bool ApplyTraceLine(std::string_view line, ChipState& state);
