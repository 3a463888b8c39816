#pragma once

#include <nlohmann/json.hpp>
#include <optional>

// A value that may be missing, as scripts read it: the value, or null.
template <typename Value>
nlohmann::json OrNull(const std::optional<Value>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}
