#pragma once

#include <array>
#include <cstdint>
#include <optional>

class PortContext;

// The rates of the Baud Select menu, by entry index.
inline constexpr std::array<std::int32_t, 8> kSelectableBauds = {1200,  2400,  4800,  8192,
                                                                  9600, 19200, 57600, 115200};

// The rate of a menu entry; an index outside the menu selects 9600.
std::int32_t BaudOfMenuEntry(int index);
// The entry to check for a rate, or nothing when the rate is not on the menu.
std::optional<int> MenuEntryOfBaud(std::int32_t rate);

// Sets the rate on the port; CurrentBaud becomes the rate, or 0 when the port refused it.
bool SelectBaud(PortContext& port, std::int32_t rate);
