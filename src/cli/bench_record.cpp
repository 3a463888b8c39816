#include "cli/bench_record.h"

#include <charconv>
#include <cmath>
#include <ctime>

#include "adaptor_tests/diagnosis.h"
#include "cli/run_names.h"

namespace {

// ISO 8601 in UTC, to the second: benches in different time zones sort alike.
std::string UtcTime(std::chrono::system_clock::time_point time) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  char text[32] = {};
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&seconds));
  return text;
}

std::string VendorProduct(const PortIdentity& identity) {
  if (identity.vendorId.empty() || identity.productId.empty()) return "";
  return identity.vendorId + ":" + identity.productId;
}

std::optional<float> MeasuredRate(const BenchResult& result) {
  if (!result.record || !result.record->speed) return std::nullopt;
  return result.record->speed->measuredRate;
}

std::string RateText(float rate) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, rate, std::chars_format::fixed, 1).ptr;
  return std::string(text, end);
}

// "8192:phase2=receive-timeout", "speed=out-of-range", "car=only-echo": each check that did not
// pass.
std::vector<std::string> FailedPhases(const BenchResult& result) {
  std::vector<std::string> failed;
  if (!result.record) return failed;
  for (const RateRecord& rate : result.record->rates) {
    for (const PhaseRecord& phase : rate.phases) {
      if (phase.outcome == PhaseOutcome::Passed) continue;
      failed.push_back(std::to_string(rate.rate) + ":phase" + std::to_string(phase.phase) + "=" +
                       nlohmann::json(phase.outcome).get<std::string>());
    }
  }
  const auto& speed = result.record->speed;
  if (speed && speed->outcome != SpeedOutcome::Passed) {
    failed.push_back("speed=" + nlohmann::json(speed->outcome).get<std::string>());
  }
  const auto& car = result.record->car;
  if (car && car->verdict != CarVerdict::Answered) {
    failed.push_back("car=" + nlohmann::json(car->verdict).get<std::string>());
  }
  return failed;
}

std::string Joined(const std::vector<std::string>& words) {
  std::string text;
  for (const auto& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

std::string DiagnosisCell(const BenchResult& result) {
  if (!result.record) return result.openFailure;
  std::string cell;
  for (const Diagnosis& each : Diagnose(*result.record, result.identity)) {
    cell += (cell.empty() ? "" : " Also: ") + each.cause + " What to do: " + each.fix;
  }
  return cell;
}

std::string TestName(TestKind test) { return nlohmann::json(test).get<std::string>(); }

}  // namespace

std::string BenchVerdict(const BenchResult& result) {
  return result.record ? nlohmann::json(result.record->verdict).get<std::string>() : "port-not-opened";
}

std::string CsvCell(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
  }
  if (!text.empty() && std::string_view("=+-@").find(text.front()) != std::string_view::npos) {
    text.insert(0, 1, '\'');
  }
  const bool quoted = text.find_first_of(",\"") != std::string::npos ||
                      (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quoted) return text;
  std::string cell = "\"";
  for (const char c : text) cell += c == '"' ? std::string("\"\"") : std::string(1, c);
  return cell + "\"";
}

std::string CsvRecord(const BenchResult& result) {
  const auto rate = MeasuredRate(result);
  const std::string cells[] = {UtcTime(result.time),
                               result.identity.serialNumber,
                               VendorProduct(result.identity),
                               result.identity.product,
                               result.byId,
                               TestName(result.test),
                               BenchVerdict(result),
                               rate ? RateText(*rate) : "",
                               Joined(FailedPhases(result)),
                               DiagnosisCell(result)};
  std::string line;
  for (const auto& cell : cells) line += (line.empty() ? "" : ",") + CsvCell(cell);
  return line + "\n";
}

std::string JsonRecord(const BenchResult& result) {
  const auto text = [](const std::string& value) {
    return value.empty() ? nlohmann::json(nullptr) : nlohmann::json(value);
  };
  const auto rate = MeasuredRate(result);
  const nlohmann::json record = {{"time", UtcTime(result.time)},
                                 {"serial_number", text(result.identity.serialNumber)},
                                 {"vendor_product", text(VendorProduct(result.identity))},
                                 {"product", text(result.identity.product)},
                                 {"by_id", text(result.byId)},
                                 {"test", result.test},
                                 {"verdict", BenchVerdict(result)},
                                 {"measured_rate", rate ? nlohmann::json(std::round(*rate * 10.0) / 10.0)
                                                        : nlohmann::json(nullptr)},
                                 {"failed_phases", FailedPhases(result)},
                                 {"diagnosis", text(DiagnosisCell(result))}};
  return record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

std::optional<std::string> ForeignCsvLog(const std::string& firstLine) {
  const std::string line = firstLine.ends_with('\r') ? firstLine.substr(0, firstLine.size() - 1) : firstLine;
  if (line == kCsvHeader) return std::nullopt;
  return "its first line is not the bench log's header, so it holds something else; give a new "
         "file or a log an earlier bench wrote";
}

std::optional<std::string> ForeignJsonLog(const std::string& firstLine) {
  const nlohmann::json record = nlohmann::json::parse(firstLine, nullptr, false);
  if (record.is_object() && record.contains("verdict") && record.contains("by_id")) return std::nullopt;
  return "its first line is no bench record in JSON, so it holds something else; give a new "
         "file or a log an earlier bench wrote with --json";
}
