#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "adaptor_tests/diagnosis.h"

inline constexpr std::size_t kTerminalColumns = 78;
// For a box that wraps its own lines: each cause and fix on one line.
inline constexpr std::size_t kUnwrapped = static_cast<std::size_t>(-1);

// The diagnosis as text, after the report: a blank line, the heading "Diagnosis", then each
// fault's cause and fix, each wrapped to the columns given under its label.
std::string DiagnosisText(const std::vector<Diagnosis>& diagnoses,
                          std::size_t columns = kTerminalColumns);
