#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "car_link/car_link_record.h"

// "F4 57 01 00 B4"
std::string Hex(std::span<const std::uint8_t> bytes);
// "F4"
std::string HexByte(std::uint8_t byte);
// "08, F1 and F5"
std::string IdList(const std::vector<std::uint8_t>& ids);

// The report's lines: what the listen heard, one request with its echo and reply, and the
// adaptor's latency over all requests.
std::string ListenReport(const Hearing& listen);
std::string AttemptReport(const CarAttempt& attempt);
std::string LatencyReport(const CarLinkRecord& record);

// The adaptor's latency: the longest time from a request's last byte on the line to its echo's
// last byte received; nothing when no echo came back whole.
std::optional<std::int32_t> EchoLatency(const CarLinkRecord& record);
