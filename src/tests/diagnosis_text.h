#pragma once

#include <string>
#include <vector>

#include "tests/diagnosis.h"

// The diagnosis as text, after the report: a blank line, the heading "Diagnosis", then each
// fault's cause and fix, each wrapped to 78 columns under its label.
std::string DiagnosisText(const std::vector<Diagnosis>& diagnoses);
