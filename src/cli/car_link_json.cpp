#include "cli/car_link_json.h"

#include "car_link/car_link_texts.h"
#include "cli/json_or_null.h"
#include "cli/run_names.h"

namespace {

nlohmann::json IdOrNull(const std::optional<std::uint8_t>& id) {
  return id ? nlohmann::json(HexByte(*id)) : nlohmann::json(nullptr);
}

nlohmann::json HeardJson(const Hearing& hearing) {
  nlohmann::json frames = nlohmann::json::array();
  for (const HeardFrame& frame : hearing.frames) {
    frames.push_back({{"at_ms", frame.atMs}, {"bytes", Hex(frame.bytes)}, {"checksum_good", frame.checksumGood}});
  }
  nlohmann::json outside = nlohmann::json::array();
  for (const TimedByte& byte : hearing.unframed) {
    outside.push_back({{"at_ms", byte.atMs}, {"byte", HexByte(byte.byte)}});
  }
  return {{"frames", frames}, {"bytes_outside_frames", outside}};
}

nlohmann::json AttemptJson(const CarAttempt& attempt) {
  nlohmann::json json = HeardJson(attempt.heard);
  json.update({{"id", HexByte(attempt.id)},
               {"request", Hex(attempt.request)},
               {"sent_at_ms", attempt.sentAtMs},
               {"echo", Hex(attempt.echo)},
               {"echo_ms", OrNull(attempt.echoMs)},
               {"reply", Hex(attempt.reply)},
               {"reply_ms", OrNull(attempt.replyMs)},
               {"reply_end_ms", OrNull(attempt.replyEndMs)},
               {"outcome", attempt.outcome}});
  return json;
}

}  // namespace

nlohmann::json CarLinkJson(const CarLinkRecord& record) {
  nlohmann::json requests = nlohmann::json::array();
  for (const CarAttempt& attempt : record.attempts) requests.push_back(AttemptJson(attempt));
  nlohmann::json others = nlohmann::json::array();
  for (const std::uint8_t id : ChatteringIds(record)) others.push_back(HexByte(id));
  return {{"asked", IdOrNull(record.chosenId)},
          {"quiet_bus", record.quietBus},
          {"listen", HeardJson(record.listen)},
          {"requests", requests},
          {"verdict", record.verdict},
          {"answered_id", IdOrNull(record.answeredId)},
          {"other_ids", others},
          {"latency_ms", OrNull(EchoLatency(record))},
          {"burst_spacing_ms", OrNull(record.burstSpacingMs)}};
}
