#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "car_link/car_link_record.h"

// The verdict of a test that got to ask: an answer wins; then what came from the ID asked (late,
// broken); then what the line itself shows (held low, traffic that is no 8192-baud link); then
// the echo; and only a clean echo with silence after it is "only our own echo".
CarVerdict VerdictOf(const CarLinkRecord& record);

// Bytes that came in bursts, most of them the same time apart and several bytes each, as a
// latency timer releases them: that spacing. Nothing for bytes as the line paces them.
std::optional<std::int32_t> BurstSpacing(std::span<const std::int32_t> arrivals);
// The same for the record's replies.
std::optional<std::int32_t> BurstSpacing(const CarLinkRecord& record);
