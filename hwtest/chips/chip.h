#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

// What a USB serial chip shows the host before its driver speaks to it.
struct UsbIdentity {
  std::uint16_t vendor;
  std::uint16_t product;
  std::uint16_t bcdDevice;
  std::uint8_t deviceClass;
  std::string manufacturer;
  std::string productName;
  std::uint8_t interfaceClass;
  std::uint8_t interfaceSubClass;
  std::uint8_t interfaceProtocol;
  // The interface's endpoints in the chip's order; the bulk pair carries the serial data.
  enum class Endpoint { BulkIn, BulkOut, InterruptIn };
  std::vector<Endpoint> endpoints;
};

// A control request as it arrives on endpoint 0.
struct Setup {
  std::uint8_t requestType;
  std::uint8_t request;
  std::uint16_t value;
  std::uint16_t index;
  std::uint16_t length;
  bool In() const { return (requestType & 0x80) != 0; }
};

// What the chip's serial side does now, as its registers set it.
struct LineState {
  bool dtr = false;
  bool rts = false;
  double askedRate = 0;  // the rate the driver's request names, 0 before the first
  double trueRate = 0;   // the rate the chip's clock really makes of it
};

// One chip: answers its driver's control requests as its datasheet says and tells what its
// serial side does. Each request's answer: the data stage of an IN request (or the empty one
// of an OUT), or nothing to stall it, as the chip does a request it does not know.
class Chip {
 public:
  virtual ~Chip() = default;
  virtual UsbIdentity Identity() const = 0;
  virtual std::optional<std::vector<std::uint8_t>> Control(const Setup& setup,
                                                           std::span<const std::uint8_t> data) = 0;
  const LineState& Line() const { return line_; }

 protected:
  LineState line_;
};

// The chips this emulator can be, by the name on the command line: cp2102, cp2102n, ch340,
// pl2303, cdc-acm. Nothing for another name.
std::unique_ptr<Chip> MakeChip(const std::string& name);

std::unique_ptr<Chip> MakeCp210x(bool cp2102n);
std::unique_ptr<Chip> MakeCh340();
std::unique_ptr<Chip> MakePl2303();
std::unique_ptr<Chip> MakeCdcAcm();

// Little-endian fields of a request's data.
inline std::uint32_t Le32(std::span<const std::uint8_t> data, std::size_t at = 0) {
  if (data.size() < at + 4) return 0;
  return data[at] | data[at + 1] << 8 | data[at + 2] << 16 | static_cast<std::uint32_t>(data[at + 3]) << 24;
}
inline std::vector<std::uint8_t> AsLe32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}
// An IN request's answer cut to the length the host asked for.
inline std::vector<std::uint8_t> Answer(std::vector<std::uint8_t> bytes, const Setup& setup) {
  if (bytes.size() > setup.length) bytes.resize(setup.length);
  return bytes;
}
