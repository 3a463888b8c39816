#pragma once

#include <string_view>

#include "serial/dcb.h"

// Reads a serial control settings string, "rate,parity,data bits,stop bits" such as
// "9600,n,8,1": parity one of n, e, o, m, s; data bits 4 to 8; stop bits 1, 1.5 or 2.
// Raises CommError(InvalidPropertyValue) for anything else rather than guessing.
DCB ParseSettingsString(std::string_view settings);
