#include "car_link/car_link_texts.h"

#include <algorithm>
#include <cstdio>

#include "common/test_panel.h"

namespace {

// More frames than this are counted, not listed.
constexpr std::size_t kListedFrames = 12;

std::string Ms(std::int32_t ms) { return std::to_string(ms) + " ms"; }

}  // namespace

std::string HexByte(std::uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

std::string Hex(std::span<const std::uint8_t> bytes) {
  std::string text;
  for (const std::uint8_t byte : bytes) text += (text.empty() ? "" : " ") + HexByte(byte);
  return text;
}

std::string IdList(const std::vector<std::uint8_t>& ids) {
  std::string text;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    text += (i == 0 ? "" : i + 1 == ids.size() ? " and " : ", ") + HexByte(ids[i]);
  }
  return text;
}

std::string ListenReport(const Hearing& listen) {
  if (listen.frames.empty() && listen.unframed.empty()) {
    return " >>Heard nothing: no module talks on its own" + CRLF + CRLF;
  }
  std::vector<std::uint8_t> ids;
  for (const HeardFrame& frame : listen.frames) {
    if (std::ranges::find(ids, frame.bytes[0]) == ids.end()) ids.push_back(frame.bytes[0]);
  }
  std::string text = " >>Heard " + std::to_string(listen.frames.size()) + " frame" +
                     (listen.frames.size() == 1 ? "" : "s");
  if (!ids.empty()) text += " from " + std::string(ids.size() == 1 ? "ID " : "IDs ") + IdList(ids);
  if (!listen.unframed.empty()) text += " and " + std::to_string(listen.unframed.size()) + " bytes in no frame";
  text += CRLF;
  for (std::size_t i = 0; i < std::min(listen.frames.size(), kListedFrames); ++i) {
    text += "   " + Ms(listen.frames[i].atMs) + ": " + Hex(listen.frames[i].bytes) + CRLF;
  }
  if (listen.frames.size() > kListedFrames) {
    text += "   and " + std::to_string(listen.frames.size() - kListedFrames) + " more" + CRLF;
  }
  const bool zeros = std::ranges::all_of(listen.unframed, [](const TimedByte& b) { return b.byte == 0; });
  if (!listen.unframed.empty() && zeros) text += "   the bytes in no frame are all 00, as a break reads" + CRLF;
  return text + CRLF;
}

std::string AttemptReport(const CarAttempt& attempt) {
  using enum CarAttempt::Outcome;
  std::string text = " -->Sending " + Hex(attempt.request) + CRLF;
  if (attempt.outcome == NoEcho) return text + " >>No echo: nothing came back" + CRLF + CRLF;
  if (attempt.outcome == EchoAltered) {
    if (std::ranges::all_of(attempt.echo, [](std::uint8_t byte) { return byte == 0; })) {
      return text + " >>No echo: only 00 bytes came back, as a break reads" + CRLF + CRLF;
    }
    return text + " >>Echo altered: sent " + Hex(attempt.request) + ", came back " + Hex(attempt.echo) + CRLF + CRLF;
  }
  text += " >>Echo " + Hex(attempt.echo) + ", " + Ms(attempt.echoMs.value_or(0)) +
          " after the request's last byte" + CRLF;
  const std::string from = HexByte(attempt.id);
  const std::string after = attempt.replyMs ? ", " + Ms(*attempt.replyMs) + " after the request" : "";
  const std::string size = std::to_string(attempt.reply.size()) + " bytes";
  switch (attempt.outcome) {
    case Answered: text += " >>Reply from " + from + ": " + size + ", checksum good" + after; break;
    case ReplyLate:
      text += " >>Reply from " + from + ": " + size + ", checksum good, but late" + after;
      break;
    case ReplyBadSum:
      text += " >>Reply from " + from + ": " + size + " whose checksum does not add up" + after;
      break;
    case ReplyNotWhole: {
      const auto whole = attempt.reply.size() > 1 ? FrameLengthOf(attempt.reply[1]) : std::nullopt;
      text += " >>Reply from " + from + " not whole: " + std::to_string(attempt.reply.size()) +
              (whole ? " of " + std::to_string(*whole) : "") + " bytes" + after;
      break;
    }
    default: text += " >>No reply"; break;
  }
  text += CRLF;
  std::vector<std::string> others;
  for (const HeardFrame& frame : attempt.heard.frames) {
    if (frame.bytes != attempt.request && frame.bytes != attempt.reply) others.push_back(Hex(frame.bytes));
  }
  for (std::size_t i = 0; i < others.size(); ++i) text += (i == 0 ? " >>Also heard: " : "; ") + others[i];
  if (!others.empty()) text += CRLF;
  return text + CRLF;
}

std::optional<std::int32_t> EchoLatency(const CarLinkRecord& record) {
  std::optional<std::int32_t> longest;
  for (const CarAttempt& attempt : record.attempts) {
    if (attempt.echoMs) longest = std::max(longest.value_or(*attempt.echoMs), *attempt.echoMs);
  }
  return longest;
}

std::string LatencyReport(const CarLinkRecord& record) {
  const auto latency = EchoLatency(record);
  if (!latency) return "";
  std::string text = "The adaptor's latency: " + Ms(*latency) + " from a request's last byte to its echo's" + CRLF;
  if (record.burstSpacingMs) {
    text += "Replies came in bursts " + Ms(*record.burstSpacingMs) +
            " apart: the adaptor holds what it receives for its latency timer" + CRLF;
  }
  return text + CRLF;
}
