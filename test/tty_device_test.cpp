#include "serial/tty_device.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <thread>

#include "serial/comm_error.h"
#include "serial/open_failure_text.h"
#include "support/pty_pair.h"

namespace {

using namespace std::chrono_literals;

DCB Line(std::uint32_t rate, std::uint8_t byteSize = 8, std::uint8_t stopBits = ONESTOPBIT) {
  DCB dcb;
  dcb.BaudRate = rate;
  dcb.ByteSize = byteSize;
  dcb.StopBits = stopBits;
  return dcb;
}

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
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

std::optional<CommError> Raised(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const CommError& error) {
    return error;
  }
  return std::nullopt;
}

TEST(TtyLineSettings, RatesReadBackThroughTermios2) {
  PtyPair pty;
  auto device = OpenTtyDevice(pty.SlavePath());
  for (std::uint32_t rate : {8192u, 4800u, 115200u, 1200u}) {
    ASSERT_TRUE(device->Apply(Line(rate)));
    EXPECT_EQ(device->State().BaudRate, rate);
  }
}

TEST(TtyLineSettings, ClosingPutsBackTheSettingsFoundAtOpen) {
  PtyPair pty;
  const std::uint32_t before = OpenTtyDevice(pty.SlavePath())->State().BaudRate;
  ASSERT_NE(before, 8192u);
  ASSERT_TRUE(OpenTtyDevice(pty.SlavePath())->Apply(Line(8192)));
  EXPECT_EQ(OpenTtyDevice(pty.SlavePath())->State().BaudRate, before);
}

TEST(TtyLineSettings, StopBitsReadBackAndImpossibleFramesAreRefused) {
  PtyPair pty;
  auto device = OpenTtyDevice(pty.SlavePath());
  ASSERT_TRUE(device->Apply(Line(8192, 8, TWOSTOPBITS)));
  EXPECT_EQ(device->State().StopBits, TWOSTOPBITS);
  EXPECT_FALSE(device->Apply(Line(8192, 9)));
  EXPECT_FALSE(device->Apply(Line(8192, 4)));
  EXPECT_EQ(device->State().BaudRate, 8192u);
}

TEST(TtyModemLines, PtyRefusalIsAbsorbed) {
  PtyPair pty;
  auto device = OpenTtyDevice(pty.SlavePath());
  EXPECT_NO_THROW(device->SetModemLines(true, false));
  EXPECT_TRUE(device->Apply(Line(8192)));
}

TEST(TtyQueues, FarEndBytesAreCountedAndReadIntact) {
  PtyPair pty;
  auto device = OpenTtyDevice(pty.SlavePath());
  const ByteBuffer sent = Pattern(2048);
  pty.Send(sent);
  ASSERT_TRUE(Eventually([&] { return device->InputCount() == 2048; }));
  EXPECT_EQ(device->Read(4096), sent);
  EXPECT_EQ(device->InputCount(), 0);
  EXPECT_TRUE(device->Read(4096).empty());
}

TEST(TtyQueues, DiscardsEmptyTheQueues) {
  PtyPair pty;
  auto device = OpenTtyDevice(pty.SlavePath());
  pty.Send(Pattern(10));
  ASSERT_TRUE(Eventually([&] { return device->InputCount() == 10; }));
  device->DiscardInput();
  EXPECT_EQ(device->InputCount(), 0);
  EXPECT_TRUE(device->Read(100).empty());
  device->DiscardOutput();
  EXPECT_EQ(device->OutputCount(), 0);
}

TEST(TtyWrite, MoreThanTheQueuesHoldReachesTheFarEndIntact) {
  PtyPair pty;
  auto device = OpenTtyDevice(pty.SlavePath());
  const ByteBuffer sent = Pattern(200'000);
  ByteBuffer received;
  std::thread farEnd([&] { received = pty.Receive(sent.size(), 20s); });
  EXPECT_NO_THROW(device->Write(sent));
  farEnd.join();
  EXPECT_EQ(received, sent);
}

TEST(TtyEcho, LoopedBackPtyReturnsEveryByteIntact) {
  PtyPair pty(PtyPair::Mode::Echo);
  auto device = OpenTtyDevice(pty.SlavePath());
  ASSERT_TRUE(device->Apply(Line(8192)));
  const ByteBuffer sent = Pattern(200);
  device->Write(sent);
  ByteBuffer received;
  Eventually([&] {
    const ByteBuffer more = device->Read(sent.size() - received.size());
    received.insert(received.end(), more.begin(), more.end());
    return received.size() == sent.size();
  });
  EXPECT_EQ(received, sent);
}

TEST(TtyOpen, SecondOpenIsBusyUntilTheFirstCloses) {
  PtyPair pty;
  auto first = OpenTtyDevice(pty.SlavePath());
  const auto refused = Raised([&] { OpenTtyDevice(pty.SlavePath()); });
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->Code(), CommErrorNumber::PortUnavailable);
  EXPECT_NE(std::string(refused->what()).find(" is busy"), std::string::npos);
  EXPECT_TRUE(first->Apply(Line(8192)));
  first.reset();
  EXPECT_NO_THROW(OpenTtyDevice(pty.SlavePath()));
}

class TtyRefusedPath : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tty_device_test_XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    dir_ = name;
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  static void ExpectRefused(const std::string& path, const std::string& reason) {
    const auto error = Raised([&] { OpenTtyDevice(path); });
    ASSERT_TRUE(error) << path;
    EXPECT_EQ(error->Code(), CommErrorNumber::PortUnavailable);
    EXPECT_EQ(error->what(), path + reason);
  }

  std::filesystem::path dir_;
};

TEST_F(TtyRefusedPath, MissingPath) { ExpectRefused(dir_ / "ttyGone", " does not exist"); }

TEST_F(TtyRefusedPath, RegularFileIsLeftUnchanged) {
  const auto file = dir_ / "notes.txt";
  std::ofstream(file) << "keep me";
  ExpectRefused(file, " is not a serial device");
  std::string content;
  std::getline(std::ifstream(file), content);
  EXPECT_EQ(content, "keep me");
}

TEST_F(TtyRefusedPath, DirectoryAndNonTerminalDevice) {
  ExpectRefused(dir_, " is not a serial device");
  ExpectRefused("/dev/null", " is not a serial device");
}

TEST(TtyOpenFailureText, PermissionDeniedNamesTheDeviceGroup) {
  EXPECT_EQ(OpenFailureText("/dev/cable", EACCES, "uucp"),
            "permission denied on /dev/cable: add yourself to group uucp "
            "(sudo usermod -aG uucp $USER) and log in again");
}

TEST(TtyHangUp, EveryOperationRaisesDeviceFailure) {
  PtyPair pty;
  auto device = OpenTtyDevice(pty.SlavePath());
  ASSERT_TRUE(device->Read(16).empty());
  pty.HangUp();
  const std::function<void()> operations[] = {
      [&] { device->State(); },
      [&] { device->Apply(Line(8192)); },
      [&] { device->SetModemLines(true, true); },
      [&] { device->InputCount(); },
      [&] { device->OutputCount(); },
      [&] { device->DiscardInput(); },
      [&] { device->DiscardOutput(); },
      [&] { device->Write(Pattern(4)); },
      [&] { device->Read(16); },
  };
  for (std::size_t i = 0; i < std::size(operations); ++i) {
    const auto error = Raised(operations[i]);
    ASSERT_TRUE(error) << "operation " << i;
    EXPECT_EQ(error->Code(), CommErrorNumber::DeviceFailure) << "operation " << i;
  }
}

}  // namespace
