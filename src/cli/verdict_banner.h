#pragma once

#include <string>

// The bench's verdict for one adaptor, to be read from across the bench: on a terminal in
// double-height letters on a coloured ground, with the bell; elsewhere as one plain line.
std::string VerdictBanner(const std::string& word, bool passed, bool terminal);
