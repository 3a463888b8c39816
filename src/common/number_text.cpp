#include "common/number_text.h"

std::string NumberText(std::int64_t value) {
  return value < 0 ? std::to_string(value) : " " + std::to_string(value);
}
