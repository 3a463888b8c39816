#pragma once

#include <string>

// "####0": rounded to a whole number, no thousands separator (8224.9 -> "8225").
std::string FormatWhole(double value);

// "##0.0%": times 100, rounded to one place, with the user's decimal separator; negative
// figures get a minus sign (-0.049793 -> "-5.0%"), a figure that rounds to zero does not.
std::string FormatPercent(double value, const std::string& decimalSeparator);
