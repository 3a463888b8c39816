#pragma once

#include <string>

// The decimal separator of the user's locale, or "." when the locale the environment names
// does not exist.
std::string UserDecimalSeparator();
