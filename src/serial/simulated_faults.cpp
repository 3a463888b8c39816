#include "serial/simulated_faults.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>

namespace {

constexpr std::array<std::pair<std::string_view, bool SimFaults::*>, 6> kFlagFaults = {{
    {"dead", &SimFaults::dead},
    {"no-dtr", &SimFaults::noDtr},
    {"no-rts", &SimFaults::noRts},
    {"noise", &SimFaults::noise},
    {"std-rates", &SimFaults::stdRates},
    {"extra-byte", &SimFaults::extraByte},
}};

constexpr std::array<std::pair<std::string_view, bool CarFaults::*>, 7> kCarFlagFaults = {{
    {"car", &CarFaults::present},
    {"ignition-off", &CarFaults::ignitionOff},
    {"chatter", &CarFaults::chatter},
    {"bad-checksum", &CarFaults::badChecksum},
    {"160-baud", &CarFaults::slowBaud},
    {"held-low", &CarFaults::heldLow},
    {"no-echo", &CarFaults::noEcho},
}};

// A whole-number fault: its name, its least and greatest values, and where it goes.
struct NumberFault {
  std::string_view name;
  std::int32_t least;
  std::int32_t greatest;
  std::function<void(SimFaults&, std::int32_t)> set;
};

const NumberFault kNumberFaults[] = {
    {"unplug", 0, INT32_MAX, [](SimFaults& f, std::int32_t v) { f.unplugAfterMs = v; }},
    {"latency", 0, 60000, [](SimFaults& f, std::int32_t v) { f.latencyMs = v; }},
    {"timer", 1, 255, [](SimFaults& f, std::int32_t v) { f.timerMs = v; }},
    {"lose-every", 2, INT32_MAX, [](SimFaults& f, std::int32_t v) { f.loseEvery = v; }},
    {"stuck-high", 0, 7, [](SimFaults& f, std::int32_t v) { f.stuckHighBit = v; }},
    {"stuck-low", 0, 7, [](SimFaults& f, std::int32_t v) { f.stuckLowBit = v; }},
    {"dead-after", 0, INT32_MAX, [](SimFaults& f, std::int32_t v) { f.deadAfter = v; }},
    {"late", 0, 60000,
     [](SimFaults& f, std::int32_t v) {
       f.car.lateMs = v;
       f.car.present = true;
     }},
};

std::string_view Trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

[[noreturn]] void RejectFault(std::string_view item) {
  const std::string what = item.empty() ? "a fault is missing between two commas or at an end"
                                        : "not a simulated adaptor fault: \"" + std::string(item) + '"';
  throw std::invalid_argument(
      what + " (the faults are dead, no-dtr, no-rts, noise, rate=N with N above 0, std-rates, "
             "unplug=MS, latency=MS, timer=MS from 1 to 255, lose-every=N from 2, stuck-high=B and "
             "stuck-low=B with a bit from 0 to 7, dead-after=N, extra-byte; and on a car: car, "
             "ignition-off, ecu=HEX, chatter, bad-checksum, late=MS, 160-baud, held-low, no-echo)");
}

template <typename Number>
std::optional<Number> ParsedNumber(std::string_view text, int base = 10) {
  Number value{};
  const char* end = text.data() + text.size();
  std::from_chars_result result{};
  if constexpr (std::is_floating_point_v<Number>) {
    result = std::from_chars(text.data(), end, value);
  } else {
    result = std::from_chars(text.data(), end, value, base);
  }
  if (text.empty() || result.ec != std::errc{} || result.ptr != end) return std::nullopt;
  return value;
}

void AddFault(std::string_view item, SimFaults& faults) {
  const auto equals = item.find('=');
  const auto name = Trim(item.substr(0, equals));
  const auto named = [name](const auto& fault) { return fault.first == name; };
  if (equals == std::string_view::npos) {
    if (const auto flag = std::ranges::find_if(kFlagFaults, named); flag != kFlagFaults.end()) {
      faults.*(flag->second) = true;
    } else if (const auto carFlag = std::ranges::find_if(kCarFlagFaults, named); carFlag != kCarFlagFaults.end()) {
      faults.car.*(carFlag->second) = true;
      faults.car.present = true;
    } else {
      RejectFault(item);
    }
    return;
  }
  const auto value = Trim(item.substr(equals + 1));
  if (name == "rate") {
    const auto rate = ParsedNumber<double>(value);
    if (!rate || !std::isfinite(*rate) || *rate <= 0) RejectFault(item);
    faults.lineRate = rate;
    return;
  }
  if (name == "ecu") {
    const auto id = ParsedNumber<unsigned>(value, 16);
    if (!id || *id > 0xFF) RejectFault(item);
    faults.car.ecuId = static_cast<std::uint8_t>(*id);
    faults.car.present = true;
    return;
  }
  const auto fault = std::ranges::find(kNumberFaults, name, &NumberFault::name);
  const auto number = ParsedNumber<std::int32_t>(value);
  if (fault == std::end(kNumberFaults) || !number || *number < fault->least || *number > fault->greatest) {
    RejectFault(item);
  }
  fault->set(faults, *number);
}

}  // namespace

SimFaults ParseSimFaults(std::string_view text) {
  SimFaults faults;
  if (Trim(text).empty()) return faults;
  for (std::size_t start = 0;;) {
    const auto comma = text.find(',', start);
    AddFault(Trim(text.substr(start, comma - start)), faults);
    if (comma == std::string_view::npos) return faults;
    start = comma + 1;
  }
}
