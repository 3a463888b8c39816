#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// A frame of the car's 8192-baud data link: the device ID, a length byte, the mode, the data
// and a checksum that makes the frame's bytes sum to 0 modulo 256. The length byte is 0x52 plus
// the whole frame's length, so the shortest frame (ID, length, checksum: a body computer's
// heartbeat 08 55 A3) has 0x55 and no mode.
using FrameBytes = std::vector<std::uint8_t>;

// The link's rate.
inline constexpr std::int32_t kVehicleBaud = 8192;

inline constexpr std::uint8_t kLengthByteOffset = 0x52;
inline constexpr std::size_t kShortestFrame = 3;

// Modes a tester may send: 1 asks for a data table, 8 stops other traffic, 9 resumes it.
inline constexpr std::uint8_t kModeSendData = 0x01;
inline constexpr std::uint8_t kModeQuietBus = 0x08;
inline constexpr std::uint8_t kModeResumeBus = 0x09;

// The whole frame's length a length byte gives; nothing below 0x55, which no frame has.
std::optional<std::size_t> FrameLengthOf(std::uint8_t lengthByte);

// A whole frame to id: the length byte, the mode, the data, the checksum.
FrameBytes MakeFrame(std::uint8_t id, std::uint8_t mode, std::span<const std::uint8_t> data = {});

// Whether the bytes sum to 0 modulo 256.
bool ChecksumAddsUp(std::span<const std::uint8_t> frame);

// The mode byte of a whole frame; nothing for a frame too short to have one.
std::optional<std::uint8_t> ModeOf(std::span<const std::uint8_t> frame);

// The request for message 0 of the data table: F4 57 01 00 B4 for ID F4.
inline FrameBytes DataRequest(std::uint8_t id) {
  const std::uint8_t message = 0;
  return MakeFrame(id, kModeSendData, std::span(&message, 1));
}
