#pragma once

#include <string>

// "####0": rounded to a whole number, no thousands separator (8224.9 -> "8225").
std::string FormatWhole(double value);

// "##0.0%": times 100, rounded to one place, with the user's decimal separator; a negative
// number keeps its minus sign even when it rounds to zero (-0.049793 -> "-5.0%").
std::string FormatPercent(double value, const std::string& decimalSeparator);
