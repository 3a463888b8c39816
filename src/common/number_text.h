#pragma once

#include <cstdint>
#include <string>

// A number as captions, labels, report lines and saved settings show it: its digits after one
// space when it is not negative, after its minus sign otherwise (8192 -> " 8192", -2 -> "-2").
std::string NumberText(std::int64_t value);
