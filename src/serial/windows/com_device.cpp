#include "serial/windows/com_device.h"

#include "serial/windows/windows_api.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "serial/comm_error.h"
#include "serial/windows/line_guard.h"
#include "serial/windows/open_failure_text.h"
#include "serial/windows/system_error_text.h"

namespace {

// The queue sizes asked of the driver: room for the speed check's block and its echo.
constexpr DWORD kQueueSize = 16384;
constexpr DWORD kLargestRead = 4096;
// Guards the write time-out against a rate of 0.
constexpr std::uint32_t kSlowestRate = 50;
// Windows sleeps in whole milliseconds.
constexpr std::chrono::milliseconds kShortestSleep{1};

// Bytes pass untouched both ways: binary, no parity checking or replacing, no XON/XOFF, no
// CTS/DSR/DTR/RTS handshake, and an error on the line never stops reading or writing.
void MakeRaw(Win32Dcb& dcb) {
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  if (dcb.fDtrControl == DTR_CONTROL_HANDSHAKE) dcb.fDtrControl = DTR_CONTROL_ENABLE;
  if (dcb.fRtsControl != RTS_CONTROL_DISABLE) dcb.fRtsControl = RTS_CONTROL_ENABLE;
}

bool SameTimeouts(const COMMTIMEOUTS& a, const COMMTIMEOUTS& b) {
  return a.ReadIntervalTimeout == b.ReadIntervalTimeout &&
         a.ReadTotalTimeoutMultiplier == b.ReadTotalTimeoutMultiplier &&
         a.ReadTotalTimeoutConstant == b.ReadTotalTimeoutConstant &&
         a.WriteTotalTimeoutMultiplier == b.WriteTotalTimeoutMultiplier &&
         a.WriteTotalTimeoutConstant == b.WriteTotalTimeoutConstant;
}

class PortHandle {
 public:
  explicit PortHandle(HANDLE handle) : handle_(handle) {}
  ~PortHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  PortHandle(const PortHandle&) = delete;
  PortHandle& operator=(const PortHandle&) = delete;

  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
};

class ComDevice final : public SerialDevice {
 public:
  // Nothing on the line changes until the port is known to be a serial port that this program
  // holds alone (share mode 0: Windows refuses a port another program has open), and from then
  // on the guard puts it back however this program ends.
  explicit ComDevice(const std::string& port)
      : port_(port),
        owned_(CreateFileW(DevicePath(port).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                 nullptr, OPEN_EXISTING, 0, nullptr)),
        handle_(owned_.Get()) {
    if (handle_ == INVALID_HANDLE_VALUE) Refuse(GetLastError());
    Win32Dcb original{};
    original.DCBlength = sizeof original;
    if (!GetCommState(handle_, &original)) Refuse(GetLastError());
    guard_.Take(handle_, original);
    // The driver may keep queues of its own size; the sizes asked are a wish.
    SetupComm(handle_, kQueueSize, kQueueSize);
    Win32Dcb raw = original;
    MakeRaw(raw);
    if (!SetCommState(handle_, &raw)) Refuse(GetLastError());
  }

  ~ComDevice() override = default;

  DCB State() override {
    const Win32Dcb settings = Current();
    DCB dcb;
    dcb.DCBlength = kDcbLength;
    dcb.BaudRate = settings.BaudRate;
    dcb.ByteSize = settings.ByteSize;
    dcb.Parity = settings.Parity;
    dcb.StopBits = settings.StopBits;
    return dcb;
  }

  bool Apply(const DCB& dcb) override {
    if (dcb.ByteSize < 5 || dcb.ByteSize > 8 || dcb.Parity > SPACEPARITY ||
        dcb.StopBits > TWOSTOPBITS || dcb.BaudRate == 0) {
      return false;
    }
    Win32Dcb settings = Current();
    settings.BaudRate = dcb.BaudRate;
    settings.ByteSize = dcb.ByteSize;
    settings.Parity = dcb.Parity;
    settings.StopBits = dcb.StopBits;
    // The block carries DTR and RTS: it keeps the states last set.
    if (modemLines_) {
      settings.fDtrControl = modemLines_->dtr ? DTR_CONTROL_ENABLE : DTR_CONTROL_DISABLE;
      settings.fRtsControl = modemLines_->rts ? RTS_CONTROL_ENABLE : RTS_CONTROL_DISABLE;
    }
    if (SetCommState(handle_, &settings)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_PARAMETER) return false;
    Fail("setting the line", error);
  }

  void SetModemLines(bool dtr, bool rts) override {
    modemLines_ = ModemLines{dtr, rts};
    SetLine(dtr ? SETDTR : CLRDTR);
    SetLine(rts ? SETRTS : CLRRTS);
  }

  int InputCount() override {
    return static_cast<int>(held_.size() + Status("counting input").cbInQue);
  }

  int OutputCount() override { return static_cast<int>(Status("counting output").cbOutQue); }

  bool WaitForInput(std::int32_t count, std::int32_t ms) override {
    const int waiting = InputCount();
    if (waiting >= count) return true;
    if (ms <= 0) return false;
    // The driver ends a read as the first byte arrives, so the wait for it sleeps in the driver;
    // the byte is kept for Read. Once one is in, only the line rate tells when the rest can be.
    if (waiting == 0) {
      ReadWithin(static_cast<DWORD>(ms));
    } else {
      SleepTowards(count - waiting, ms);
    }
    return InputCount() >= count;
  }

  bool WaitForOutputEmpty(std::int32_t ms) override {
    const int queued = OutputCount();
    if (queued == 0) return true;
    if (ms <= 0) return false;
    SleepTowards(queued, ms);
    return OutputCount() == 0;
  }

  void DiscardInput() override {
    held_.clear();
    Purge(PURGE_RXCLEAR, "discarding input");
  }

  void DiscardOutput() override { Purge(PURGE_TXCLEAR, "discarding output"); }

  // The queue must take every byte within the time they need to leave at the rate in force (10
  // bits a character) plus 2 s for a slow driver, or the device has stopped.
  void Write(std::span<const std::uint8_t> bytes) override {
    const std::uint32_t rate = std::max<std::uint32_t>(Current().BaudRate, kSlowestRate);
    SetTimeouts({0, 0, 0, (10'000 + rate - 1) / rate, 2000});
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      DWORD count = 0;
      if (!WriteFile(handle_, bytes.data() + sent, static_cast<DWORD>(bytes.size() - sent), &count,
                     nullptr)) {
        Fail("writing", GetLastError());
      }
      if (count == 0) Fail("writing", ERROR_TIMEOUT);
      sent += count;
    }
  }

  ByteBuffer Read(std::size_t max) override {
    ByteBuffer bytes;
    const std::size_t fromHeld = std::min(max, held_.size());
    bytes.assign(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(fromHeld));
    held_.erase(held_.begin(), held_.begin() + static_cast<std::ptrdiff_t>(fromHeld));
    const std::size_t wanted = std::min<std::size_t>(max - fromHeld, kLargestRead);
    if (wanted == 0) return bytes;
    // These time-outs end a read at once with whatever has arrived.
    SetTimeouts({MAXDWORD, 0, 0, 0, 0});
    ByteBuffer more(wanted);
    DWORD count = 0;
    if (!ReadFile(handle_, more.data(), static_cast<DWORD>(wanted), &count, nullptr)) {
      Fail("reading", GetLastError());
    }
    bytes.insert(bytes.end(), more.begin(), more.begin() + count);
    return bytes;
  }

  void SetFarewell(std::span<const std::uint8_t> bytes) override { guard_.SetFarewell(bytes); }

  bool Lost() const override { return lost_; }

 private:
  struct ModemLines {
    bool dtr;
    bool rts;
  };

  [[noreturn]] void Refuse(DWORD error) {
    throw CommError(CommErrorNumber::PortUnavailable, OpenFailureText(port_, error));
  }

  [[noreturn]] void Fail(const char* action, DWORD error) {
    lost_ = true;
    throw CommError(CommErrorNumber::DeviceFailure,
                    port_ + " stopped answering while " + action + " (" + SystemErrorText(error) +
                        "): is the cable still plugged in?");
  }

  Win32Dcb Current() {
    Win32Dcb settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle_, &settings)) Fail("reading the line settings", GetLastError());
    return settings;
  }

  COMSTAT Status(const char* action) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(handle_, &errors, &status)) Fail(action, GetLastError());
    return status;
  }

  void Purge(DWORD what, const char* action) {
    if (!PurgeComm(handle_, what)) Fail(action, GetLastError());
  }

  void SetLine(DWORD function) {
    if (EscapeCommFunction(handle_, function)) return;
    const DWORD error = GetLastError();
    // Wine's COM port on a pseudo-terminal, like a virtual port, has no modem lines.
    if (error != ERROR_NOT_SUPPORTED && error != ERROR_INVALID_PARAMETER) {
      Fail("setting the modem lines", error);
    }
  }

  void SetTimeouts(COMMTIMEOUTS timeouts) {
    if (timeouts_ && SameTimeouts(*timeouts_, timeouts)) return;
    if (!SetCommTimeouts(handle_, &timeouts)) Fail("setting the time-outs", GetLastError());
    timeouts_ = timeouts;
  }

  // Reads one byte into the held bytes, waiting for it at most ms.
  void ReadWithin(DWORD ms) {
    SetTimeouts({0, 0, ms, 0, 0});
    std::uint8_t byte = 0;
    DWORD count = 0;
    if (!ReadFile(handle_, &byte, 1, &count, nullptr)) Fail("waiting for input", GetLastError());
    if (count == 1) held_.push_back(byte);
  }

  // Sleeps half the time that bytes characters take on the line at the rate in force, so that a
  // line a little faster than its rate is not overslept, within the shortest sleep and ms.
  void SleepTowards(long long bytes, std::int32_t ms) {
    const std::uint32_t rate = std::max<std::uint32_t>(Current().BaudRate, kSlowestRate);
    const std::chrono::microseconds half{bytes * 10'000'000 / rate / 2};
    std::this_thread::sleep_for(std::clamp<std::chrono::microseconds>(
        half, kShortestSleep, std::chrono::milliseconds(ms)));
  }

  std::string port_;
  PortHandle owned_;
  HANDLE handle_;
  // Declared after the handle: the port is put back before the handle closes.
  GuardedLine guard_;
  std::optional<ModemLines> modemLines_;
  std::optional<COMMTIMEOUTS> timeouts_;
  ByteBuffer held_;
  bool lost_ = false;
};

}  // namespace

std::unique_ptr<SerialDevice> OpenComDevice(const std::string& port) {
  return std::make_unique<ComDevice>(port);
}
