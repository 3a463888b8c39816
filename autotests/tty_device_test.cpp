#include "serial/linux/tty_device.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <thread>

#include "serial/comm_error.h"
#include "serial/linux/line_holders.h"
#include "serial/linux/open_failure_text.h"
#include "serial/linux/serial_line_check.h"
#include "serial/linux/tty_kind.h"
#include "serial/process_endings.h"
#include "serial/system_ports.h"
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

// The code and text of the CommError the operation raises, or no code when nothing was raised.
std::pair<CommErrorNumber, std::string> Raised(const std::function<void()>& operation) {
  try {
    operation();
  } catch (const CommError& error) {
    return {error.Code(), error.what()};
  }
  return {CommErrorNumber{}, "nothing raised"};
}

// On a pty whose master side the test plays: rates read back through termios2, and a pty
// refuses the modem lines, quietly; closing puts back what was found at open. Then waits end once
// what they await is there; bytes cross intact both ways, more than the kernel queues hold; and
// after the far end hangs up, as a pulled USB adaptor does, every operation fails.
TEST(TtyOnPty, SettingsBytesWaitsAndTheFarEndHangingUp) {
  PtyPair pty;
  const ByteBuffer found = pty.LineSettings();
  std::unique_ptr<SerialDevice> device = OpenTtyDevice(pty.SlavePath());
  EXPECT_NO_THROW(device->SetModemLines(true, false));
  for (std::uint32_t rate : {4800u, 115200u, 1200u, 8192u}) {
    ASSERT_TRUE(device->Apply(Line(rate)));
    EXPECT_EQ(device->State().BaudRate, rate);
  }
  device.reset();
  EXPECT_EQ(pty.LineSettings(), found);
  device = OpenTtyDevice(pty.SlavePath());

  EXPECT_TRUE(device->WaitForOutputEmpty(0));
  EXPECT_TRUE(device->WaitForInput(0, 0));
  EXPECT_FALSE(device->WaitForInput(1, 10));
  const auto sent = std::async(std::launch::async, [&] {
    std::this_thread::sleep_for(50ms);
    pty.Send(Pattern(2048));
  });
  // Readable means some byte is in; the limit only stops a broken test from hanging.
  EXPECT_TRUE(device->WaitForInput(1, 20'000));
  // A wait may end before all is in, as the callers' deadline loops allow.
  for (int wait = 0; wait < 200 && device->InputCount() < 2048; ++wait) device->WaitForInput(2048, 100);
  EXPECT_EQ(device->Read(4096), Pattern(2048));
  auto received = std::async(std::launch::async, [&] { return pty.Receive(200'000, 20s); });
  EXPECT_NO_THROW(device->Write(Pattern(200'000)));
  EXPECT_EQ(received.get(), Pattern(200'000));

  pty.HangUp();
  const std::function<void()> operations[] = {
      [&] { device->State(); }, [&] { device->Apply(Line(8192)); }, [&] { device->InputCount(); },
      [&] { device->OutputCount(); }, [&] { device->DiscardInput(); }, [&] { device->DiscardOutput(); },
      [&] { device->Write(Pattern(4)); }, [&] { device->Read(16); }, [&] { device->WaitForInput(1, 100); },
      [&] { device->SetModemLines(true, true); }, [&] { device->WaitForOutputEmpty(100); }};
  for (std::size_t i = 0; i < std::size(operations); ++i) {
    EXPECT_EQ(Raised(operations[i]).first, CommErrorNumber::DeviceFailure) << "operation " << i;
  }
}

// A line another program holds, by exclusive mode (which root could open anyway) or by its
// lock, is refused and left exactly as that program has it.
TEST(TtyOpen, ALineHeldByAnotherProgramIsRefusedAndLeftAsItIs) {
  for (const bool byExclusiveMode : {true, false}) {
    SCOPED_TRACE(byExclusiveMode ? "held in exclusive mode" : "held by its lock");
    PtyPair pty;
    byExclusiveMode ? pty.MakeExclusive() : pty.Lock();
    const ByteBuffer before = pty.LineSettings();
    EXPECT_EQ(Raised([&] { OpenTtyDevice(pty.SlavePath()); }),
              std::pair(CommErrorNumber::PortUnavailable,
                        pty.SlavePath() + (byExclusiveMode ? " is busy: held in exclusive mode by another program"
                                                           : " is busy: another program has it open")));
    EXPECT_EQ(pty.LineSettings(), before);
    EXPECT_EQ(pty.Exclusive(), byExclusiveMode);
  }
}

// A UUCP lock file (as minicom and screen leave) holding a live process's id keeps the line from
// being opened at all, with the reason the listing gives; one left by a process that is gone does
// not. The id is text, digits with only white space around them, or the old 4-byte binary number,
// whose first byte may read as a digit ("4~" is no text lock).
TEST(TtyOpen, ALiveUucpLockKeepsTheLineShutAndADeadOneDoesNot) {
  const auto binary = [](std::int32_t pid) { return std::string(reinterpret_cast<const char*>(&pid), sizeof pid); };
  const std::pair<std::string, std::optional<pid_t>> contents[] = {
      {"      1234\n", 1234}, {"1234", 1234}, {binary(0x7e34), 0x7e34}, {binary(513), 513},
      {"12 4\n", std::nullopt}, {"", std::nullopt}, {"pid 1\n", std::nullopt}};
  for (const auto& [text, pid] : contents) EXPECT_EQ(UucpLockPid(text), pid) << text;

  const std::filesystem::path locks = std::filesystem::temp_directory_path() / ("aldl-locks-" + std::to_string(getpid()));
  std::filesystem::create_directories(locks);
  SystemRoots roots;
  roots.uucpLocks = locks;
  const pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  for (const auto& [contents, held] : {std::pair("      " + std::to_string(getpid()) + "\n", true),
                                       std::pair(binary(getpid()), true), std::pair(std::to_string(gone), false)}) {
    SCOPED_TRACE(contents);
    PtyPair pty;
    std::string lockName = pty.SlavePath().substr(5);
    std::ranges::replace(lockName, '/', '_');
    std::ofstream(locks / ("LCK.." + lockName), std::ios::binary) << contents;
    const auto open = [&] { OpenSystemDevice(pty.SlavePath(), roots)->Write(Pattern(1)); };
    if (held) {
      EXPECT_EQ(Raised(open), std::pair(CommErrorNumber::PortUnavailable,
                                        pty.SlavePath() + " is busy: another program has it open (core_tests, process " +
                                            std::to_string(getpid()) + ")"));
    } else {
      EXPECT_EQ(Raised(open).second, "nothing raised");
    }
    EXPECT_EQ(pty.Receive(1, 100ms).size(), held ? 0u : 1u);
    std::filesystem::remove(locks / ("LCK.." + lockName));
  }
  std::filesystem::remove_all(locks);
}

// Ending without closing the device, by exit() or by an exception that nothing catches, still
// puts the line back.
TEST(TtyEndings, ExitAndAnEscapingExceptionPutTheLineBack) {
  for (const bool byExit : {true, false}) {
    SCOPED_TRACE(byExit ? "exit" : "escaping exception");
    PtyPair pty;
    const ByteBuffer before = pty.LineSettings();
    EXPECT_DEATH_IF_SUPPORTED(
        {
          PutLinesBackAtExit();
          const auto device = OpenTtyDevice(pty.SlavePath());
          std::fprintf(stderr, "line taken\n");
          byExit ? std::exit(3) : std::terminate();
        },
        "line taken");
    EXPECT_EQ(pty.LineSettings(), before);
    EXPECT_FALSE(pty.Exclusive());
  }
}

// What is not a serial line is refused with its reason and never opened; a symlink to a tty, as
// /dev/serial/by-id/... is, opens. Some devices the kernel numbers for good; without sysfs, the
// tty drivers and consoles in /proc tell what the rest are, or nothing does.
TEST(TtyOpen, WhatIsNotASerialLineIsRefusedUnopenedWithItsReason) {
  FakeSysfs noSysfs;
  const SystemRoots roots = noSysfs.Roots();
  const std::filesystem::path dir = noSysfs.Root();
  mknod((dir / "notes.txt").c_str(), S_IFREG | 0600, 0);
  mkfifo((dir / "pipe").c_str(), 0600);
  mknod((dir / "socket").c_str(), S_IFSOCK | 0600, 0);
  const OpenWatch opens{dir / "notes.txt", dir / "pipe", dir / "socket", dir};
  const std::tuple<std::string, std::string> cases[] = {
      {dir / "notes.txt", " is a regular file, not a serial device"},
      {dir, " is a directory, not a serial device"},
      {dir / "pipe", " is a named pipe (FIFO), not a serial device"},
      {dir / "socket", " is a socket, not a serial device"},
      {"/dev/null", " cannot be shown to be a serial line: neither sysfs nor /proc/tty/drivers can be read"},
      {"/dev/tty", " stands for the terminal of whoever runs this program, not a serial line"},
      {"/dev/ptmx", " is the pseudo-terminal multiplexer: opening it would create a new "
                    "pseudo-terminal, not reach a serial line"}};
  for (const auto& [path, reason] : cases) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Raised([&] { OpenTtyDevice(path, roots); }),
              std::pair(CommErrorNumber::PortUnavailable, path + reason));
  }
  EXPECT_FALSE(opens.Opened());
  PtyPair pty;
  std::filesystem::create_symlink(pty.SlavePath(), dir / "usb-FTDI-port0");
  EXPECT_NO_THROW(OpenTtyDevice(dir / "usb-FTDI-port0", roots));

  const std::tuple<dev_t, TtyKind, std::string> numbers[] = {
      {makedev(4, 3), TtyKind::VirtualConsole, "tty3"},
      {makedev(5, 1), TtyKind::SystemConsole, "console"},
      {makedev(136, 7), TtyKind::PtySlave, "pts/7"},
      {makedev(4, 64), TtyKind::Unknown, ""}};
  for (const auto& [device, kind, name] : numbers) {
    const TtyFacts facts = ClassifyCharDevice(device, roots);
    EXPECT_EQ(std::pair(facts.kind, facts.name), std::pair(kind, name));
  }
  // /dev/null, /dev/zero and /dev/full stand in for serial lines; they are only checked.
  noSysfs.WriteProc("tty/drivers", "serial               /dev/ttyS       1 3-5 serial\n"
                                   "pty_slave            /dev/pts      136 0-1048575 pty:slave");
  noSysfs.WriteProc("consoles", "ttyS2                -W- (EC p a)    1:5");
  EXPECT_NO_THROW(CheckSerialLine("/dev/null", roots));
  EXPECT_EQ(Raised([&] { CheckSerialLine("/dev/zero", roots); }).second,
            "/dev/zero is the kernel's console (ttyS2): the tester leaves the line the kernel "
            "writes its messages to alone");
  EXPECT_EQ(Raised([&] { CheckSerialLine("/dev/full", roots); }).second,
            "/dev/full is a character device but not a terminal, so not a serial device");
}

// A user who may read a line but not write it cannot use it: the probe says so, unopened.
TEST(TtyOpen, PermissionDeniedNamesTheDevicesGroup) {
  PtyPair pty;
  ASSERT_EQ(chmod(pty.SlavePath().c_str(), 0644), 0);
  const pid_t child = fork();
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    if (setgid(kNobody) != 0 || setuid(kNobody) != 0) _exit(2);
    const auto why = SystemDeviceUnavailability(pty.SlavePath(), SystemRoots{});
    _exit(why && why->starts_with("permission denied on " + pty.SlavePath()) ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "readable but not writable was taken for usable";
  EXPECT_EQ(OpenFailureText("/dev/cable", EACCES, "uucp"),
            "permission denied on /dev/cable: add yourself to group uucp "
            "(sudo usermod -aG uucp $USER) and log in again");
  EXPECT_EQ(OpenFailureText("/dev/cable", EACCES, ""),
            "permission denied on /dev/cable: your user may not read and write it and no group "
            "a user could join may either; ask the administrator for read and write access to it");
}

// A driver's rate within 1% of the one asked is taken for it; one further off is not.
TEST(TtyRate, ARateTheDriverPutsInPassesWithinOnePerCent) {
  for (const std::uint32_t running : {8192u, 8196u, 8191u, 8270u, 8115u}) EXPECT_TRUE(RateTakenAsAsked(running, 8192)) << running;
  for (const std::uint32_t running : {8300u, 8050u, 8700u, 7700u, 9600u}) EXPECT_FALSE(RateTakenAsAsked(running, 8192)) << running;
}

}  // namespace
