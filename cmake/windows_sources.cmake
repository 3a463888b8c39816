# The Windows files of the core and the headless runner: the Win32 serial API, the DOS device
# names and SetupAPI, the console's control events, the system timer.
set(ALDL_PLATFORM_CORE_SOURCES
  src/common/windows/standard_descriptors.cpp
  src/link/windows/system_timer.cpp
  src/link/windows/timer_period.cpp
  src/serial/windows/adaptor_watch.cpp
  src/serial/windows/com_device.cpp
  src/serial/windows/com_port_watch.cpp
  src/serial/windows/device_identity.cpp
  src/serial/windows/line_guard.cpp
  src/serial/windows/open_failure_text.cpp
  src/serial/windows/port_devices.cpp
  src/serial/windows/process_endings.cpp
  src/serial/windows/system_error_text.cpp
  src/serial/windows/system_ports.cpp
  src/serial/windows/usb_instance_id.cpp
)
set(ALDL_PLATFORM_CLI_SOURCES
  src/cli/windows/interrupt.cpp
  src/cli/windows/log_file.cpp
)
# The window's: the session's end, and the settings in the per-user registry.
set(ALDL_PLATFORM_WINDOW_SOURCES
  src/app/windows/close_on_signals.cpp
  src/app/windows/settings_store.cpp
  src/app/windows/window_destroyed.cpp
)
# SetupAPI and the configuration manager for the adaptors' identity, winmm for the timer.
set(ALDL_PLATFORM_LIBRARIES setupapi cfgmgr32 winmm)
# <windows.h> names some functions as the program does (timeBeginPeriod): its files are built
# alone, not in the unity units of the shared code.
set_source_files_properties(${ALDL_PLATFORM_CORE_SOURCES} ${ALDL_PLATFORM_CLI_SOURCES}
  PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
