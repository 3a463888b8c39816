#include "cli/run_json.h"

#include <charconv>

#include "adaptor_tests/diagnosis.h"
#include "cli/car_link_json.h"
#include "cli/json_or_null.h"
#include "cli/run_names.h"

namespace {

nlohmann::json PositionsJson(const std::optional<Positions>& positions) {
  if (!positions) return nullptr;
  return {{"first", positions->first}, {"count", positions->count}, {"spacing", OrNull(positions->spacing)}};
}

// The evidence of a block: its times, what came after it, and where it differed from the block
// sent, bit by bit.
void AddEvidence(nlohmann::json& json, const BlockTiming& timing, const std::optional<BlockComparison>& comparison) {
  json["first_byte_ms"] = OrNull(timing.firstByteMs);
  json["last_byte_ms"] = OrNull(timing.lastByteMs);
  json["bytes_after"] = timing.bytesAfter;
  json["last_after_ms"] = OrNull(timing.lastAfterMs);
  json["missing"] = PositionsJson(comparison ? comparison->missing : std::nullopt);
  json["altered"] = PositionsJson(comparison ? comparison->altered : std::nullopt);
  nlohmann::json bits = nlohmann::json::array();
  for (std::size_t bit = 0; comparison && bit < 8; ++bit) {
    if (comparison->bitSet[bit] + comparison->bitCleared[bit] == 0) continue;
    bits.push_back({{"bit", bit}, {"set", comparison->bitSet[bit]}, {"cleared", comparison->bitCleared[bit]}});
  }
  json["bit_errors"] = bits;
}

}  // namespace

void to_json(nlohmann::json& json, const PhaseRecord& phase) {
  json = {{"phase", phase.phase}, {"outcome", phase.outcome}, {"bytes_received", phase.bytesReceived}};
  AddEvidence(json, phase.timing, phase.comparison);
}

void to_json(nlohmann::json& json, const RateRecord& rate) {
  json = {{"rate", rate.rate}, {"phases", rate.phases}};
}

void to_json(nlohmann::json& json, const SpeedRecord& speed) {
  json = {{"outcome", speed.outcome},
          {"measured_rate", OrNull(speed.measuredRate)},
          {"bytes_received", speed.bytesReceived},
          {"line_rate", OrNull(LineRate(speed.bytesReceived, speed.timing))}};
  AddEvidence(json, speed.timing, speed.comparison);
}

nlohmann::json NoRunJson(const std::string& verdict, const std::string& error) {
  return {{"rates", nlohmann::json::array()}, {"verdict", verdict}, {"error", error}};
}

std::string JsonText(const nlohmann::json& json) {
  return json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

namespace {

// A driver's figure as a number; null when it has none, or shows something else.
nlohmann::json Milliseconds(const std::string& text) {
  int ms = 0;
  const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), ms);
  if (text.empty() || error != std::errc() || stop != text.data() + text.size()) return nullptr;
  return ms;
}

}  // namespace

nlohmann::json IdentityJson(const PortIdentity& identity) {
  const auto text = [](const std::string& value) {
    return value.empty() ? nlohmann::json(nullptr) : nlohmann::json(value);
  };
  return {{"kind", KindName(identity.kind)},
          {"description", DescribeIdentity(identity)},
          {"name", text(identity.name)},
          {"manufacturer", text(identity.manufacturer)},
          {"product", text(identity.product)},
          {"serial_number", text(identity.serialNumber)},
          {"vendor_id", text(identity.vendorId)},
          {"product_id", text(identity.productId)},
          {"driver", text(identity.driver)},
          {"latency_timer_ms", Milliseconds(identity.latencyTimer)},
          {"uart_type", text(identity.uartType)},
          {"by_id", text(identity.byId)},
          {"kernel_console", identity.kernelConsole}};
}

nlohmann::json RunJson(std::int16_t comPort, const std::string& device,
                       const PortIdentity& identity, TestKind test, const RunRecord& record) {
  nlohmann::json json = {{"port", comPort},
                         {"device", device},
                         {"identity", IdentityJson(identity)},
                         {"test", test},
                         {"rates", record.rates},
                         {"verdict", record.verdict}};
  if (record.speed) json["speed"] = *record.speed;
  if (record.car) json["car"] = CarLinkJson(*record.car);
  json["diagnosis"] = nullptr;
  // The first fault as cause and fix, as scripts read it; any further ones under "also".
  if (const auto diagnoses = Diagnose(record, identity); !diagnoses.empty()) {
    json["diagnosis"] = {{"cause", diagnoses.front().cause}, {"fix", diagnoses.front().fix}};
    nlohmann::json also = nlohmann::json::array();
    for (std::size_t i = 1; i < diagnoses.size(); ++i) {
      also.push_back({{"cause", diagnoses[i].cause}, {"fix", diagnoses[i].fix}});
    }
    json["diagnosis"]["also"] = also;
  }
  return json;
}
