#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "adaptor_tests/run_control.h"
#include "adaptor_tests/run_record.h"
#include "serial/port_identity.h"

// A run as one JSON object:
//   {"port": 1, "device": "sim", "identity": IDENTITY, "test": "fast" | "extended" | "car",
//    "rates": [{"rate": 8192, "phases": [{"phase": 1, "outcome": PHASE, "bytes_received": 256,
//                                          EVIDENCE}, ...]}, ...],
//    "speed": {"outcome": SPEED, "measured_rate": 8187.5 | null, "bytes_received": 2048,
//              "line_rate": 8192.0 | null, EVIDENCE},
//    "verdict": "passed" | "failed" | "halted" | "rate-refused",
//    "diagnosis": {"cause": "...", "fix": "..."} | null}
// PHASE: "passed", "transmit-timeout", "receive-timeout", "compare-error", "port-not-open".
// SPEED: "passed", "no-data", "out-of-range", "port-not-open", "compare-error" (in time, but not
// as sent); "speed" is there only when the
// fast test's transfer-speed check ran, "car" (see car_link_json.h) only when the car link test
// did; measured_rate (baud) only holds a number when a
// whole block came back. A rate appears once the port accepted it, or once the run found the
// port gone when setting it; its phases as far as they ran. EVIDENCE, in ms from the block handed
// to the port: "first_byte_ms" and "last_byte_ms" back (null when none came), "bytes_after" the
// block until the line fell quiet and "last_after_ms", "missing" and "altered" bytes as
// {"first": 49, "count": 5, "spacing": 50 | null} or null, and "bit_errors" as [{"bit": 7,
// "set": 128, "cleared": 0}, ...]. line_rate is the rate between the first byte back and the
// last, which a late first byte does not change. The diagnosis, the likely cause and
// what to do in plain words, is null when every phase passed.
nlohmann::json RunJson(std::int16_t comPort, const std::string& device,
                       const PortIdentity& identity, TestKind test, const RunRecord& record);

// What a device is, for a cable maker's record; fields the device does not have are null:
//   {"kind": "usb" | "uart" | "pty" | "serial" | "simulated" | "empty-uart-slot" | "missing" |
//            "not-serial" | "unknown",
//    "description": "FTDI FT232R USB UART (USB 0403:6001, ftdi_sio, serial A1B2C3)",
//    "name": "ttyUSB0", "manufacturer": "FTDI", "product": "FT232R USB UART",
//    "serial_number": "A1B2C3", "vendor_id": "0403", "product_id": "6001",
//    "driver": "ftdi_sio", "latency_timer_ms": 16 | null, "uart_type": null,
//    "by_id": "/dev/serial/by-id/...",
//    "kernel_console": false}
nlohmann::json IdentityJson(const PortIdentity& identity);

// No run: the same object with no rates, "verdict": "port-not-opened" or "bad-usage", and
// "error" saying why.
nlohmann::json NoRunJson(const std::string& verdict, const std::string& error);

// The text of one object. Bytes that are not UTF-8 (a device path may hold any) are replaced,
// never a reason to fail.
std::string JsonText(const nlohmann::json& json);
