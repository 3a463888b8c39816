#pragma once

#include <string>

#include "tests/diagnosis.h"

// A diagnosis for the terminal, after the report: a blank line, the heading "Diagnosis", then
// the cause and the fix, each wrapped to 78 columns under its label.
std::string DiagnosisText(const Diagnosis& diagnosis);
