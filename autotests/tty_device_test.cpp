#include "serial/tty_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "serial/comm_error.h"
#include "serial/open_failure_text.h"
#include "support/pty_pair.h"

namespace {

using namespace std::chrono_literals;

DCB Line(std::uint32_t rate) { return DCB{kDcbLength, rate, 8, NOPARITY, ONESTOPBIT}; }

ByteBuffer Pattern(std::size_t count) {
  ByteBuffer bytes(count);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  }
  return bytes;
}

// Polls until the condition holds or a limit meant only to stop a broken test from hanging.
bool Eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (!condition() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(1ms);
  }
  return condition();
}

// The CommError the operation raises, or one with no code saying that nothing was raised.
CommError Raised(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const CommError& error) {
    return error;
  }
  return CommError(CommErrorNumber{}, "nothing raised");
}

// A device opened on a pty whose master side the test plays.
struct TtyOnPty : testing::Test {
  PtyPair pty;
  std::unique_ptr<SerialDevice> device = OpenTtyDevice(pty.SlavePath());
};

// The refused second open leaves the first working; a pty refuses the modem lines; closing puts
// back what was found at open.
TEST_F(TtyOnPty, OpenIsExclusiveRatesReadBackThroughTermios2AndCloseRestoresTheSettings) {
  const CommError busy = Raised([&] { OpenTtyDevice(pty.SlavePath()); });
  EXPECT_EQ(busy.Code(), CommErrorNumber::PortUnavailable);
  EXPECT_EQ(busy.what(), pty.SlavePath() + " is busy: another program has it open");
  EXPECT_NO_THROW(device->SetModemLines(true, false));
  const std::uint32_t before = device->State().BaudRate;
  ASSERT_NE(before, 8192u);
  for (std::uint32_t rate : {4800u, 115200u, 1200u, 8192u}) {
    ASSERT_TRUE(device->Apply(Line(rate)));
    EXPECT_EQ(device->State().BaudRate, rate);
  }
  device.reset();
  EXPECT_EQ(OpenTtyDevice(pty.SlavePath())->State().BaudRate, before);
}

// 2048 bytes from the far end in one go, more than the kernel queues hold to it, then the far
// end hangs up as a pulled USB adaptor does.
TEST_F(TtyOnPty, BytesCrossIntactBothWaysUntilTheFarEndHangsUp) {
  pty.Send(Pattern(2048));
  ASSERT_TRUE(Eventually([&] { return device->InputCount() == 2048; }));
  EXPECT_EQ(device->Read(4096), Pattern(2048));
  EXPECT_EQ(device->InputCount(), 0);
  const ByteBuffer toFarEnd = Pattern(200'000);
  ByteBuffer received;
  std::thread farEnd([&] { received = pty.Receive(toFarEnd.size(), 20s); });
  EXPECT_NO_THROW(device->Write(toFarEnd));
  farEnd.join();
  EXPECT_EQ(received, toFarEnd);
  pty.HangUp();
  const std::function<void()> operations[] = {
      [&] { device->State(); },         [&] { device->Apply(Line(8192)); },
      [&] { device->InputCount(); },    [&] { device->SetModemLines(true, true); },
      [&] { device->OutputCount(); },   [&] { device->DiscardInput(); },
      [&] { device->DiscardOutput(); }, [&] { device->Write(Pattern(4)); },
      [&] { device->Read(16); },        [&] { device->WaitForInput(1, 100); },
      [&] { device->WaitForOutputEmpty(100); }};
  for (std::size_t i = 0; i < std::size(operations); ++i) {
    EXPECT_EQ(Raised(operations[i]).Code(), CommErrorNumber::DeviceFailure) << "operation " << i;
  }
}

// A wait for input blocks until the far end's bytes are in; one for nothing ends at once.
TEST_F(TtyOnPty, WaitsEndWhenWhatTheyAwaitIsThere) {
  EXPECT_TRUE(device->WaitForOutputEmpty(0));
  EXPECT_TRUE(device->WaitForInput(0, 0));
  EXPECT_FALSE(device->WaitForInput(1, 10));
  std::thread farEnd([&] {
    std::this_thread::sleep_for(50ms);
    pty.Send(Pattern(3));
  });
  EXPECT_TRUE(Eventually([&] { return device->WaitForInput(3, 20'000); }));
  farEnd.join();
  EXPECT_EQ(device->Read(8), Pattern(3));
}

TEST(TtyEcho, LoopedBackPtyReturnsEveryByteIntact) {
  PtyPair pty(PtyPair::Mode::Echo);
  auto device = OpenTtyDevice(pty.SlavePath());
  ASSERT_TRUE(device->Apply(Line(8192)));
  device->Write(Pattern(200));
  ASSERT_TRUE(Eventually([&] { return device->InputCount() == 200; }));
  EXPECT_EQ(device->Read(300), Pattern(200));
}

TEST(TtyOpen, RefusalsSayWhyAndARegularFileIsLeftUnchanged) {
  char name[] = "/tmp/tty_device_test_XXXXXX";
  ASSERT_NE(mkdtemp(name), nullptr);
  const std::filesystem::path dir = name;
  std::ofstream(dir / "notes.txt") << "keep me";
  const std::string notSerial = " is not a serial device";
  const std::pair<std::filesystem::path, std::string> cases[] = {
      {dir / "ttyGone", " does not exist"},
      {dir / "notes.txt", notSerial},
      {dir, notSerial},
      {"/dev/null", notSerial}};
  for (const auto& [path, reason] : cases) {
    const CommError refused = Raised([&] { OpenTtyDevice(path); });
    EXPECT_EQ(refused.Code(), CommErrorNumber::PortUnavailable) << path;
    EXPECT_EQ(refused.what(), path.string() + reason);
  }
  std::string content;
  std::getline(std::ifstream(dir / "notes.txt"), content);
  EXPECT_EQ(content, "keep me");
  std::filesystem::remove_all(dir);
  EXPECT_EQ(OpenFailureText("/dev/cable", EACCES, "uucp"),
            "permission denied on /dev/cable: add yourself to group uucp "
            "(sudo usermod -aG uucp $USER) and log in again");
}

}  // namespace
