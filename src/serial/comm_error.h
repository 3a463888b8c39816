#pragma once

#include <stdexcept>
#include <string>

// Error numbers of the serial control, as its callers see them.
enum class CommErrorNumber : int {
  Overflow = 6,                // a value does not fit the property's 16 bits
  InvalidPropertyValue = 380,  // malformed settings string, unsupported mode
  InvalidPortNumber = 8002,
  PortAlreadyOpen = 8005,
  PortUnavailable = 8010,      // missing, busy, permission denied, not a serial device
  PortNotOpen = 8018,
  DeviceFailure = 8020,        // the device stopped answering: a pulled USB cable
};

// The one exception type of the serial layer.
class CommError : public std::runtime_error {
 public:
  CommError(CommErrorNumber number, const std::string& what)
      : std::runtime_error(what), number_(number) {}

  int Number() const { return static_cast<int>(number_); }
  CommErrorNumber Code() const { return number_; }

 private:
  CommErrorNumber number_;
};
