// The chips the QEMU harness emulates for the kernel's drivers: the rate each makes of what its
// driver programs and the lines each drives, with the very requests the drivers send for 8192
// baud and for each phase's power (as the harness's request logs show them).

#include <gtest/gtest.h>

#include "chip.h"

namespace {

constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xc0;
constexpr std::uint8_t kVendorInterfaceOut = 0x41;
constexpr std::uint8_t kVendorInterfaceIn = 0xc1;
constexpr std::uint8_t kClassInterfaceOut = 0x21;

std::optional<std::vector<std::uint8_t>> Send(Chip& chip, std::uint8_t type, std::uint8_t request,
                                              std::uint16_t value, std::uint16_t index = 0,
                                              std::vector<std::uint8_t> data = {}, std::uint16_t length = 0) {
  const Setup setup{type, request, value, index,
                    static_cast<std::uint16_t>((type & 0x80) ? length : data.size())};
  return chip.Control(setup, data);
}

struct RateCase {
  const char* what;
  const char* chip;
  std::uint8_t type;
  std::uint8_t request;
  std::uint16_t value;
  std::uint16_t index;
  std::vector<std::uint8_t> data;
  double trueRate;
};

TEST(ChipEmulators, EachChipRunsTheRateItsClockMakesOfWhatItsDriverProgrammed) {
  const RateCase cases[] = {
      {"CP2102N told 8191 (its driver's rate for 8192)", "cp2102n", kVendorInterfaceOut, 0x1e, 0, 0,
       {0xff, 0x1f, 0x00, 0x00}, 24e6 / 2930},
      {"CP2102 told 9600 (its driver's rate for 8192)", "cp2102", kVendorInterfaceOut, 0x1e, 0, 0,
       {0x80, 0x25, 0x00, 0x00}, 9600},
      {"CP210x told by the old divisor of 3.6864 MHz", "cp2102", kVendorInterfaceOut, 0x01, 384, 0, {}, 9600},
      {"CH340: prescaler 0x86, divisor register 0x49", "ch340", kVendorOut, 0x9a, 0x1312, 0x4986, {},
       48e6 / (32 * 183)},
      {"CH340: prescaler 0x82, divisor register 0xb2 (its 9600)", "ch340", kVendorOut, 0x9a, 0x1312, 0xb282,
       {}, 48e6 / (64 * 78)},
      {"PL2303: mantissa 183, exponent 4", "pl2303", kClassInterfaceOut, 0x20, 0, 0,
       {0xb7, 0x08, 0x00, 0x80, 0x00, 0x00, 0x08}, 12e6 * 32 / 183 / 256},
      {"PL2303: 9600 given directly", "pl2303", kClassInterfaceOut, 0x20, 0, 0,
       {0x80, 0x25, 0x00, 0x00, 0x00, 0x00, 0x08}, 9600},
      {"CDC-ACM: SET_LINE_CODING 8192", "cdc-acm", kClassInterfaceOut, 0x20, 0, 0,
       {0x00, 0x20, 0x00, 0x00, 0x00, 0x00, 0x08}, 8192},
  };
  for (const RateCase& each : cases) {
    SCOPED_TRACE(each.what);
    const auto chip = MakeChip(each.chip);
    ASSERT_TRUE(chip);
    ASSERT_TRUE(Send(*chip, each.type, each.request, each.value, each.index, each.data));
    EXPECT_NEAR(chip->Line().trueRate, each.trueRate, 0.005);
  }
}

struct LinesCase {
  std::uint16_t value;
  bool dtr;
  bool rts;
};

// Each phase's power (DTR only, RTS only, both) as each driver asks for it, and off again.
TEST(ChipEmulators, EachChipDrivesDtrAndRtsAsItsDriverAsks) {
  {
    SCOPED_TRACE("CH340: bits 5 (DTR) and 6 (RTS) of the modem request, inverted");
    const auto ch340 = MakeChip("ch340");
    for (const auto& [value, dtr, rts] : {LinesCase{0xffdf, true, false}, LinesCase{0xffbf, false, true},
                                          LinesCase{0xff9f, true, true}, LinesCase{0xffff, false, false}}) {
      Send(*ch340, kVendorOut, 0xa4, value);
      EXPECT_EQ(ch340->Line().dtr, dtr) << std::hex << value;
      EXPECT_EQ(ch340->Line().rts, rts) << std::hex << value;
    }
  }
  {
    SCOPED_TRACE("CP210x: SET_MHS changes only the lines its bits 8 and 9 name; GET_MDMSTS tells them");
    const auto cp2102 = MakeChip("cp2102");
    for (const auto& [value, dtr, rts] :
         {LinesCase{0x0101, true, false}, LinesCase{0x0202, true, true}, LinesCase{0x0100, false, true},
          LinesCase{0x0003, false, true}, LinesCase{0x0300, false, false}}) {
      Send(*cp2102, kVendorInterfaceOut, 0x07, value);
      EXPECT_EQ(cp2102->Line().dtr, dtr) << std::hex << value;
      EXPECT_EQ(cp2102->Line().rts, rts) << std::hex << value;
      const auto status = Send(*cp2102, kVendorInterfaceIn, 0x08, 0, 0, {}, 1);
      ASSERT_TRUE(status && status->size() == 1);
      EXPECT_EQ(status->front() & 0x03, (dtr ? 1 : 0) | (rts ? 2 : 0));
    }
  }

  for (const char* name : {"pl2303", "cdc-acm"}) {
    SCOPED_TRACE(std::string(name) + ": the control line request, bit 0 DTR, bit 1 RTS");
    const auto chip = MakeChip(name);
    for (const auto& [value, dtr, rts] : {LinesCase{1, true, false}, LinesCase{2, false, true},
                                          LinesCase{3, true, true}, LinesCase{0, false, false}}) {
      Send(*chip, kClassInterfaceOut, 0x22, value);
      EXPECT_EQ(chip->Line().dtr, dtr) << value;
      EXPECT_EQ(chip->Line().rts, rts) << value;
    }
  }
}

// What the drivers tell the chips apart by, before anything else.
TEST(ChipEmulators, EachChipShowsWhatItsDriverKnowsItBy) {
  const auto partNumber = [](const char* name, std::uint16_t length) {
    const auto chip = MakeChip(name);
    return Send(*chip, kVendorIn, 0xff, 0x370b, 0, {}, length);
  };
  EXPECT_EQ(partNumber("cp2102", 1), std::vector<std::uint8_t>{0x02});
  EXPECT_EQ(partNumber("cp2102n", 1), std::vector<std::uint8_t>{0x20});
  EXPECT_EQ(partNumber("cp2102", 2).value_or(std::vector<std::uint8_t>{}).size(), 2u)
      << "one byte for two asked marks a copy to the driver";

  const auto ch340 = MakeChip("ch340");
  EXPECT_EQ(Send(*ch340, kVendorIn, 0x5f, 0, 0, {}, 2), (std::vector<std::uint8_t>{0x31, 0x00}));
  EXPECT_EQ(MakeChip("ch340")->Identity().endpoints.size(), 3u) << "ch341 needs its interrupt endpoint";
  EXPECT_EQ(MakeChip("pl2303")->Identity().deviceClass, 0x02) << "device class 2 is a PL2303 type H";
  const UsbIdentity acm = MakeChip("cdc-acm")->Identity();
  EXPECT_EQ(acm.interfaceClass, 0x02);
  EXPECT_EQ(acm.interfaceSubClass, 0x02) << "the abstract control model cdc-acm binds to";
  EXPECT_FALSE(Send(*MakeChip("cdc-acm"), kVendorInterfaceIn, 0x42, 0, 0, {}, 4))
      << "a request CDC-ACM does not know is stalled";
  EXPECT_FALSE(MakeChip("ft232"));
}

}  // namespace
