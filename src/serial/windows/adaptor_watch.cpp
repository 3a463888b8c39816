#include "serial/adaptor_watch.h"

#include "serial/windows/windows_api.h"

#include <cfgmgr32.h>

#include <mutex>
#include <utility>

#include "serial/windows/com_port_watch.h"
#include "serial/windows/open_failure_text.h"
#include "serial/windows/port_devices.h"
#include "serial/windows/system_error_text.h"

namespace {

// How often the one named port is looked for, and the listing where the system tells no arrivals.
constexpr DWORD kPortPollMs = 250;
constexpr DWORD kListPollMs = 1000;
// Windows adds a port's device in steps: only ports that have stayed still a moment are listed.
constexpr DWORD kSettleMs = 200;
constexpr DWORD kStopCheckMs = 50;

// Sleeps up to ms, or until the event is set (when there is one) or a Ctrl-C came; true when the
// event was set.
bool Sleep(DWORD ms, HANDLE event, const std::function<bool()>& stopRequested) {
  for (DWORD slept = 0; slept < ms && !stopRequested(); slept += kStopCheckMs) {
    if (event ? WaitForSingleObject(event, kStopCheckMs) == WAIT_OBJECT_0 : (::Sleep(kStopCheckMs), false)) {
      return true;
    }
  }
  return false;
}

// Whether the port is there. The DOS device table shows a port without opening it; a port it
// does not show (one Wine linked after it started) is opened and closed at once: one in use
// by another program is there too.
bool PortThere(const std::string& port) {
  wchar_t target[1024];
  const std::wstring path = DevicePath(port);
  if (QueryDosDeviceW(path.substr(path.rfind(L'\\') + 1).c_str(), target, 1024) != 0) return true;
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return true;
  }
  const DWORD error = GetLastError();
  return error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
}

// The port the user named: it is looked for every quarter second, and each time it comes back
// after being gone is another coming.
class NamedPortWatch final : public AdaptorWatch {
 public:
  explicit NamedPortWatch(std::string port) : port_(std::move(port)) {}

  std::string Where() const override { return port_; }

  std::vector<Entry> Entries() override {
    const bool there = PortThere(port_);
    if (there && !there_) ++comings_;
    there_ = there;
    if (!there) return {};
    return {{port_, port_ + "#" + std::to_string(comings_), port_}};
  }

  void Wait(const std::function<bool()>& stopRequested) override { Sleep(kPortPollMs, nullptr, stopRequested); }

 private:
  std::string port_;
  bool there_ = false;
  int comings_ = 0;
};

// The device interface of COM ports.
constexpr GUID kComPortInterface = {0x86e0d1e0, 0x8089, 0x11d0, {0x9c, 0xe4, 0x08, 0x00, 0x3e, 0x30, 0x1f, 0x73}};

using RegisterNotification = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
using UnregisterNotification = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

template <typename Signature>
Signature Function(HMODULE library, const char* name) {
  return reinterpret_cast<Signature>(reinterpret_cast<void (*)()>(GetProcAddress(library, name)));
}

// The system's word that a COM port's device interface came or went. Windows before 8, and Wine,
// have no such word: the ports are then listed every second.
class SystemArrivals final : public PortArrivals {
 public:
  SystemArrivals() : changed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    const HMODULE library = GetModuleHandleW(L"cfgmgr32.dll");
    const auto registerNotification = Function<RegisterNotification>(library, "CM_Register_Notification");
    unregister_ = Function<UnregisterNotification>(library, "CM_Unregister_Notification");
    if (!changed_ || !registerNotification || !unregister_) return;
    CM_NOTIFY_FILTER filter{};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    filter.u.DeviceInterface.ClassGuid = kComPortInterface;
    if (registerNotification(&filter, this, &OnChange, &notification_) != CR_SUCCESS) notification_ = nullptr;
  }
  ~SystemArrivals() override {
    if (notification_) unregister_(notification_);
    if (changed_) CloseHandle(changed_);
  }
  SystemArrivals(const SystemArrivals&) = delete;
  SystemArrivals& operator=(const SystemArrivals&) = delete;

  void Wait(const std::function<bool()>& stopRequested) override {
    if (!notification_) {
      Sleep(kListPollMs, nullptr, stopRequested);
      return;
    }
    if (!Sleep(INFINITE, changed_, stopRequested)) return;
    while (Sleep(kSettleMs, changed_, stopRequested)) {
    }
  }

  std::vector<std::string> TakeArrivals() override {
    const std::lock_guard held(guard_);
    return std::exchange(arrivals_, {});
  }

 private:
  // Called on a thread of the system's; the port's device is there to be asked about.
  static DWORD CALLBACK OnChange(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action, PCM_NOTIFY_EVENT_DATA data,
                                 DWORD) {
    auto& self = *static_cast<SystemArrivals*>(context);
    if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL) {
      const std::string adaptor = AdaptorOfInstance(InstanceIdOfInterface(Narrowed(data->u.DeviceInterface.SymbolicLink)));
      if (!adaptor.empty()) {
        const std::lock_guard held(self.guard_);
        self.arrivals_.push_back(adaptor);
      }
    }
    SetEvent(self.changed_);
    return ERROR_SUCCESS;
  }

  HANDLE changed_;
  UnregisterNotification unregister_ = nullptr;
  HCMNOTIFICATION notification_ = nullptr;
  std::mutex guard_;
  std::vector<std::string> arrivals_;
};

}  // namespace

std::unique_ptr<AdaptorWatch> WatchDevice(const std::string& device, const SystemRoots& /*roots*/) {
  return std::make_unique<NamedPortWatch>(device);
}

std::unique_ptr<AdaptorWatch> WatchAdaptors(const SystemRoots& /*roots*/) {
  return std::make_unique<ComPortWatch>(std::make_unique<SystemArrivals>(), PresentPorts);
}
