#include "serial/chip_families.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string>

namespace {

const ChipFamily kFtdi{"FTDI", "ftdi_sio", true, "FTDI chips run 8192 baud within 0.1%"};
const ChipFamily kCh340{"CH340/CH341", "ch341", true, "CH340 and CH341 chips run 8192 baud within 0.1%"};
const ChipFamily kCp210x{"Silicon Labs CP210x", "cp210x", false,
                         "CP2101, CP2102 and CP2103 chips cannot run 8192 baud: their driver runs "
                         "9600 instead and says so (a CP2102N runs the nearest rate it can)"};
const ChipFamily kPl2303{"Prolific PL2303", "pl2303", false,
                         "PL2303 chips run the nearest rate their own table or divider allows, "
                         "which need not be 8192, and say which"};

const std::array<const ChipFamily*, 4> kFamilies = {&kFtdi, &kCh340, &kCp210x, &kPl2303};

struct UsbId {
  std::string_view vendor;
  std::string_view product;
  const ChipFamily* family;
};

const UsbId kUsbIds[] = {
    {"0403", "6001", &kFtdi},    // FT232R, FT232BM
    {"0403", "6010", &kFtdi},    // FT2232
    {"0403", "6011", &kFtdi},    // FT4232
    {"0403", "6014", &kFtdi},    // FT232H
    {"0403", "6015", &kFtdi},    // FT-X series
    {"1a86", "7523", &kCh340},   // CH340
    {"1a86", "5523", &kCh340},   // CH341 in serial mode
    {"10c4", "ea60", &kCp210x},  // CP2102, CP2102N, CP2104
    {"10c4", "ea70", &kCp210x},  // CP2105
    {"10c4", "ea71", &kCp210x},  // CP2108
    {"067b", "2303", &kPl2303},  // PL2303, PL2303HX
    {"067b", "23a3", &kPl2303},  // PL2303GC
};

// sysfs writes the ids in lower case; a fake tree or another source may not.
std::string Lower(std::string_view text) {
  std::string lower(text);
  std::ranges::transform(lower, lower.begin(), [](unsigned char c) { return std::tolower(c); });
  return lower;
}

}  // namespace

const ChipFamily* ChipFamilyOf(const PortIdentity& identity) {
  if (identity.kind != PortIdentity::Kind::Usb) return nullptr;
  const std::string vendor = Lower(identity.vendorId);
  const std::string product = Lower(identity.productId);
  for (const UsbId& id : kUsbIds) {
    if (id.vendor == vendor && id.product == product) return id.family;
  }
  const auto byDriver = std::ranges::find(kFamilies, identity.driver, &ChipFamily::driver);
  return byDriver == kFamilies.end() ? nullptr : *byDriver;
}
