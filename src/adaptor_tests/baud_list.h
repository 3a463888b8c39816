#pragma once

#include <array>
#include <cstdint>

// The extended test's rates, read from index 0 up to the first 0.
using BaudListArray = std::array<std::int32_t, 21>;

inline BaudListArray MakeBaudList() {
  BaudListArray list{};
  list[0] = 4800;
  list[1] = 8192;
  list[2] = 9600;
  list[3] = 19200;
  list[4] = 57600;
  list[5] = 115200;
  list[6] = 0;
  return list;
}
