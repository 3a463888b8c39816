#include "serial/simulated_adaptor.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <tuple>

#include "support/fake_clock.h"

namespace {

// DTR or RTS powers the adaptor unless no-rts takes RTS away. The runs of the adaptor tests on
// it pin its timing and its other faults.
TEST(SimEcho, NeedsPowerFromALineNotTakenAway) {
  const std::tuple<std::string_view, bool, bool, bool> cases[] = {
      {"", false, false, false}, {"no-rts", false, true, false}, {"no-rts", true, false, true}};
  for (const auto& [faults, dtr, rts, echoes] : cases) {
    SCOPED_TRACE(testing::Message() << faults << " DTR " << dtr << " RTS " << rts);
    FakeClock clock;
    SimulatedAdaptor adaptor(ParseSimFaults(faults), clock.Source());
    const auto device = adaptor.Connect();
    device->SetModemLines(dtr, rts);
    device->Write(ByteBuffer{1, 2, 3});
    clock.Advance(20);
    EXPECT_EQ(device->Read(10).size(), echoes ? 3u : 0u);
  }
}

TEST(SimParse, AnUnknownFaultOrBadValueIsRefusedByName) {
  for (const std::string item : {"deaf", "rate=0", "rate=fast", "unplug=-1", "dead=1"}) {
    try {
      ParseSimFaults("noise," + item);
      ADD_FAILURE() << item << " accepted";
    } catch (const std::invalid_argument& bad) {
      EXPECT_NE(std::string(bad.what()).find('"' + item + '"'), std::string::npos) << bad.what();
    }
  }
}

}  // namespace
