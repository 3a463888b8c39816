#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "serial/windows/open_failure_text.h"
#include "serial/windows/usb_instance_id.h"
#include "serial/windows/windows_api.h"

// What a user reads for each way a COM port fails to open, by the code Windows gives.
TEST(OpenFailureText, EachCodeReadsAsWords) {
  const std::pair<unsigned long, std::string> rows[] = {
      {ERROR_FILE_NOT_FOUND, "COM7 does not exist"},
      {ERROR_ACCESS_DENIED, "COM3 is busy: another program has it open"},
      {ERROR_SHARING_VIOLATION, "COM3 is busy: another program has it open"},
      {ERROR_DEVICE_NOT_CONNECTED, "COM3 has no device behind it: is the adaptor plugged in?"},
      {ERROR_INVALID_FUNCTION, "COM3 is not a serial device"}};
  for (const auto& [error, text] : rows) EXPECT_EQ(OpenFailureText(text.substr(0, 4), error), text) << error;
  // Any other code keeps the system's words and its number.
  const std::string other = OpenFailureText("COM3", ERROR_NOT_ENOUGH_MEMORY);
  EXPECT_TRUE(other.starts_with("cannot open COM3: ")) << other;
  EXPECT_NE(other.find("(error 8)"), std::string::npos) << other;
}

TEST(DevicePath, ReachesPortsAboveNineAndKeepsFullPaths) {
  EXPECT_EQ(DevicePath("COM3"), L"\\\\.\\COM3");
  EXPECT_EQ(DevicePath("COM23"), L"\\\\.\\COM23");
  EXPECT_EQ(DevicePath("\\\\.\\COM23"), L"\\\\.\\COM23");
}

TEST(UsbInstanceId, IdsAndSerialNumberOnlyWhenTheAdaptorReportsOne) {
  const std::pair<const char*, std::optional<UsbInstance>> rows[] = {
      {"USB\\VID_0403&PID_6001\\A1B2C3", UsbInstance{"0403", "6001", "A1B2C3"}},
      {"USB\\VID_1A86&PID_7523\\5&2B7F3C1A&0&2", UsbInstance{"1a86", "7523", ""}},
      {"USB\\VID_2341&PID_0043&MI_00\\6&1234&0&0000", UsbInstance{"2341", "0043", ""}},
      {"FTDIBUS\\VID_0403+PID_6001+A1B2C3A\\0000", std::nullopt},
      {"ACPI\\PNP0501\\1", std::nullopt},
      {"USB\\VID_04&PID_6001\\X", std::nullopt},
  };
  for (const auto& [id, usb] : rows) EXPECT_TRUE(ParseUsbInstanceId(id) == usb) << id;
}
