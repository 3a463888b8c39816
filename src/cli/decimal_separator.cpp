#include "cli/decimal_separator.h"

#include <locale>
#include <stdexcept>

std::string UserDecimalSeparator() {
  try {
    return std::string(1, std::use_facet<std::numpunct<char>>(std::locale("")).decimal_point());
  } catch (const std::runtime_error&) {
    return ".";
  }
}
