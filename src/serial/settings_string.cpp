#include "serial/settings_string.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <limits>
#include <vector>

#include "serial/comm_error.h"

namespace {

[[noreturn]] void Malformed(std::string_view settings) {
  throw CommError(CommErrorNumber::InvalidPropertyValue,
                  "invalid settings \"" + std::string(settings) +
                      "\": expected rate,parity,data bits,stop bits such as 9600,n,8,1");
}

std::vector<std::string_view> Fields(std::string_view text) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = text.find(',', start)) != std::string_view::npos; start = comma + 1) {
    fields.push_back(text.substr(start, comma - start));
  }
  fields.push_back(text.substr(start));
  return fields;
}

bool ParseWhole(std::string_view text, std::int64_t& value) {
  const auto* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, value);
  return error == std::errc() && stop == end;
}

}  // namespace

DCB ParseSettingsString(std::string_view settings) {
  const auto fields = Fields(settings);
  if (fields.size() != 4) Malformed(settings);

  DCB dcb;
  dcb.DCBlength = kDcbLength;

  std::int64_t rate = 0;
  if (!ParseWhole(fields[0], rate) || rate <= 0 || rate > std::numeric_limits<std::int32_t>::max()) {
    Malformed(settings);
  }
  dcb.BaudRate = static_cast<std::uint32_t>(rate);

  if (fields[1].size() != 1) Malformed(settings);
  switch (std::tolower(static_cast<unsigned char>(fields[1][0]))) {
    case 'n': dcb.Parity = NOPARITY; break;
    case 'o': dcb.Parity = ODDPARITY; break;
    case 'e': dcb.Parity = EVENPARITY; break;
    case 'm': dcb.Parity = MARKPARITY; break;
    case 's': dcb.Parity = SPACEPARITY; break;
    default: Malformed(settings);
  }

  std::int64_t dataBits = 0;
  if (!ParseWhole(fields[2], dataBits) || dataBits < 4 || dataBits > 8) Malformed(settings);
  dcb.ByteSize = static_cast<std::uint8_t>(dataBits);

  if (fields[3] == "1") {
    dcb.StopBits = ONESTOPBIT;
  } else if (fields[3] == "1.5") {
    dcb.StopBits = ONE5STOPBITS;
  } else if (fields[3] == "2") {
    dcb.StopBits = TWOSTOPBITS;
  } else {
    Malformed(settings);
  }
  return dcb;
}
