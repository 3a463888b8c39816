#include "adaptor_tests/number_formats.h"

#include <cmath>

std::string FormatWhole(double value) { return std::to_string(std::llround(value)); }

std::string FormatPercent(double value, const std::string& decimalSeparator) {
  const long long tenths = std::llround(std::fabs(value) * 1000.0);
  return (value < 0 && tenths > 0 ? "-" : "") + std::to_string(tenths / 10) + decimalSeparator +
         std::to_string(tenths % 10) + "%";
}
