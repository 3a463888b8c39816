#include "serial/tty_device.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "serial/comm_error.h"
#include "serial/open_failure_text.h"
#include "serial/process_endings.h"
#include "serial/serial_line_check.h"
#include "serial/tty_kind.h"
#include "support/fake_sysfs.h"
#include "support/open_watch.h"
#include "support/pty_pair.h"

namespace {

using namespace std::chrono_literals;

DCB Line(std::uint32_t rate) { return DCB{kDcbLength, rate, 8, NOPARITY, ONESTOPBIT}; }

ByteBuffer Pattern(std::size_t count) {
  ByteBuffer bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
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

// A pty refuses the modem lines, quietly; closing puts back what was found at open.
TEST_F(TtyOnPty, RatesReadBackThroughTermios2AndCloseRestoresTheSettings) {
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

// A line another program holds, by exclusive mode (which root could open anyway) or by its
// lock, is refused and left exactly as that program has it.
TEST(TtyOpen, ALineHeldByAnotherProgramIsRefusedAndLeftAsItIs) {
  for (const bool byExclusiveMode : {true, false}) {
    SCOPED_TRACE(byExclusiveMode ? "held in exclusive mode" : "held by its lock");
    PtyPair pty;
    std::unique_ptr<SerialDevice> holder;
    byExclusiveMode ? pty.MakeExclusive() : void(holder = OpenTtyDevice(pty.SlavePath()));
    const ByteBuffer before = pty.LineSettings();
    const CommError busy = Raised([&] { OpenTtyDevice(pty.SlavePath()); });
    EXPECT_EQ(busy.Code(), CommErrorNumber::PortUnavailable);
    EXPECT_EQ(busy.what(), pty.SlavePath() + " is busy: another program has it open");
    EXPECT_EQ(pty.LineSettings(), before);
    EXPECT_TRUE(pty.Exclusive());
  }
}

// Ending without closing the device, by exit() or by an exception that nothing catches, still
// puts the line back.
TEST(TtyEndings, ExitAndAnEscapingExceptionPutTheLineBack) {
  const std::pair<const char*, void (*)()> endings[] = {{"exit", [] { std::exit(3); }},
                                                        {"escaping exception", [] { std::terminate(); }}};
  for (const auto& [name, end] : endings) {
    SCOPED_TRACE(name);
    PtyPair pty;
    const ByteBuffer before = pty.LineSettings();
    EXPECT_DEATH_IF_SUPPORTED(
        {
          PutLinesBackAtExit();
          const auto device = OpenTtyDevice(pty.SlavePath());
          device->Apply(Line(8192));
          std::fprintf(stderr, "line taken\n");
          end();
        },
        "line taken");
    EXPECT_EQ(pty.LineSettings(), before);
    EXPECT_FALSE(pty.Exclusive());
    EXPECT_FALSE(pty.Locked());
  }
}

// Each kind of file that is not a serial line is refused with its reason and never opened; a
// symlink to a tty, as /dev/serial/by-id/... is, opens.
TEST(TtyOpen, WhatIsNotASerialLineIsRefusedUnopenedAndASymlinkToATtyOpens) {
  char name[] = "/tmp/tty_device_test_XXXXXX";
  const std::filesystem::path dir = mkdtemp(name);
  std::ofstream(dir / "notes.txt") << "keep me";
  mkfifo((dir / "pipe").c_str(), 0600);
  std::filesystem::create_symlink(dir / "pipe", dir / "link-to-pipe");
  const int socketFd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{AF_UNIX, {}};
  std::strncpy(address.sun_path, (dir / "socket").c_str(), sizeof address.sun_path - 1);
  bind(socketFd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  OpenWatch opens;
  for (const char* file : {"notes.txt", "pipe", "socket", ""}) opens.Watch(dir / file);
  const std::string notSerial = ", not a serial device";
  const std::tuple<const char*, std::string, std::string> cases[] = {
      {"missing", dir / "ttyGone", " does not exist"},
      {"regular file", dir / "notes.txt", " is a regular file" + notSerial},
      {"directory", dir, " is a directory" + notSerial},
      {"FIFO", dir / "pipe", " is a named pipe (FIFO)" + notSerial},
      {"symlink to a FIFO", dir / "link-to-pipe", " is a named pipe (FIFO)" + notSerial},
      {"UNIX socket", dir / "socket", " is a socket" + notSerial},
      {"another character device", "/dev/null",
       " is a character device but not a terminal, so not a serial device"},
      {"the caller's terminal", "/dev/tty",
       " stands for the terminal of whoever runs this program, not a serial line"},
      {"the pty multiplexer", "/dev/ptmx",
       " is the pseudo-terminal multiplexer: opening it would create a new pseudo-terminal, not "
       "reach a serial line"}};
  for (const auto& [what, path, reason] : cases) {
    SCOPED_TRACE(what);
    const CommError error = Raised([&] { OpenTtyDevice(path); });
    EXPECT_EQ(error.Code(), CommErrorNumber::PortUnavailable);
    EXPECT_EQ(error.what(), path + reason);
  }
  EXPECT_EQ(opens.Opens(), 0);
  PtyPair pty;
  std::filesystem::create_symlink(pty.SlavePath(), dir / "usb-FTDI-port0");
  EXPECT_NO_THROW(OpenTtyDevice(dir / "usb-FTDI-port0"));
  close(socketFd);
  std::filesystem::remove_all(dir);
}

// Devices the kernel numbers for good, and what is left to go by without sysfs: the tty drivers
// and consoles in /proc, or nothing at all.
TEST(TtyKinds, FixedNumbersAndTheFallbackWithoutSysfs) {
  FakeSysfs noSysfs;
  SystemRoots roots = noSysfs.Roots();
  roots.sysfs = noSysfs.Root() / "not-mounted";
  const std::tuple<const char*, dev_t, TtyKind, std::string> numbers[] = {
      {"virtual console", makedev(4, 3), TtyKind::VirtualConsole, "tty3"},
      {"system console", makedev(5, 1), TtyKind::SystemConsole, "console"},
      {"pty slave", makedev(136, 7), TtyKind::PtySlave, "pts/7"},
      {"serial line, nothing to tell", makedev(4, 64), TtyKind::Unknown, ""}};
  for (const auto& [what, device, kind, name] : numbers) {
    SCOPED_TRACE(what);
    const TtyFacts facts = ClassifyCharDevice(device, roots);
    EXPECT_EQ(std::pair(facts.kind, facts.name), std::pair(kind, name));
  }
  // /dev/null and /dev/zero stand in for serial lines; they are only checked, never opened.
  const std::string null = "/dev/null";
  const CommError unknown = Raised([&] { CheckSerialLine(null, roots); });
  EXPECT_EQ(unknown.what(), null + " cannot be shown to be a serial line: neither sysfs nor "
                                   "/proc/tty/drivers can be read");
  noSysfs.WriteProc("tty/drivers", "serial               /dev/ttyS       1 3-5 serial\n"
                                   "pty_slave            /dev/pts      136 0-1048575 pty:slave");
  noSysfs.WriteProc("consoles", "ttyS2                -W- (EC p a)    1:5");
  EXPECT_EQ(ClassifyCharDevice(makedev(1, 3), roots).name, "ttyS0");
  EXPECT_NO_THROW(CheckSerialLine(null, roots));
  EXPECT_EQ(std::string(Raised([&] { CheckSerialLine("/dev/zero", roots); }).what()),
            "/dev/zero is the kernel's console (ttyS2): the tester leaves the line the kernel "
            "writes its messages to alone");
  EXPECT_EQ(ClassifyCharDevice(makedev(1, 7), roots).kind, TtyKind::NotTty);
}

TEST(TtyOpen, PermissionDeniedNamesTheDevicesGroup) {
  EXPECT_EQ(OpenFailureText("/dev/cable", EACCES, "uucp"),
            "permission denied on /dev/cable: add yourself to group uucp "
            "(sudo usermod -aG uucp $USER) and log in again");
  EXPECT_EQ(OpenFailureText("/dev/cable", EACCES, ""),
            "permission denied on /dev/cable: your user may not read and write it and no group "
            "a user could join may either; ask the administrator for read and write access to it");
}

}  // namespace
