#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/run_control.h"
#include "tests/run_record.h"

// A run as one JSON object:
//   {"port": 1, "device": "sim", "test": "fast" | "extended",
//    "rates": [{"rate": 8192, "phases": [{"phase": 1, "outcome": PHASE}, ...]}, ...],
//    "speed": {"outcome": SPEED, "measured_rate": 8187.5 | null},
//    "verdict": "passed" | "failed" | "halted" | "rate-refused"}
// PHASE: "passed", "transmit-timeout", "receive-timeout", "compare-error", "port-not-open".
// SPEED: "passed", "no-data", "out-of-range", "port-not-open"; "speed" is there only when the
// fast test's transfer-speed check ran, and measured_rate (baud) only holds a number when a
// whole block came back. A rate appears once the port accepted it, or once the run found the
// port gone when setting it; its phases as far as they ran.
nlohmann::json RunJson(std::int16_t comPort, const std::string& device, TestKind test,
                       const RunRecord& record);

// No run: the same object with no rates, "verdict": "port-not-opened" or "bad-usage", and
// "error" saying why.
nlohmann::json NoRunJson(const std::string& verdict, const std::string& error);

// The text of one object. Bytes that are not UTF-8 (a device path may hold any) are replaced,
// never a reason to fail.
std::string JsonText(const nlohmann::json& json);
