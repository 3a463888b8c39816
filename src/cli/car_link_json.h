#pragma once

#include <nlohmann/json.hpp>

#include "car_link/car_link_record.h"

// The car link test as JSON: every frame heard (its time in ms from the start of the test, its
// bytes in hex, whether its checksum adds up) and the bytes outside frames, during the listen
// and each request; each request with its echo, its reply and their times in ms from the
// request's last byte on the line; the verdict, the ECU that answered, the IDs of the other
// modules heard, the adaptor's latency and the spacing of its bursts:
//   {"asked": "F4" | null, "quiet_bus": false,
//    "listen": {"frames": [FRAME, ...], "bytes_outside_frames": [{"at_ms": 12, "byte": "00"}, ...]},
//    "requests": [{"id": "F4", "request": "F4 57 01 00 B4", "sent_at_ms": 2021,
//                  "echo": "F4 57 01 00 B4", "echo_ms": 11, "reply": "F4 95 01 ...",
//                  "reply_ms": 17, "reply_end_ms": 99, "outcome": OUTCOME,
//                  "frames": [FRAME, ...], "bytes_outside_frames": [...]}, ...],
//    "verdict": VERDICT, "answered_id": "F4" | null, "other_ids": ["08", "F1"],
//    "latency_ms": 11 | null, "burst_spacing_ms": 16 | null}
// FRAME: {"at_ms": 315, "bytes": "08 55 A3", "checksum_good": true}.
// OUTCOME: "answered", "no-echo", "echo-altered", "no-reply", "reply-not-whole",
// "reply-bad-checksum", "reply-late". VERDICT: "answered", "only-echo", "no-echo",
// "echo-altered", "reply-broken", "reply-late", "no-valid-frame", "line-held-low",
// "port-lost", "rate-refused", "halted".
nlohmann::json CarLinkJson(const CarLinkRecord& record);
