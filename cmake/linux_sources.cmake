# The Linux files of the core and the headless runner: termios2, sysfs, the line guard, signals.
set(ALDL_PLATFORM_CORE_SOURCES
  src/common/linux/standard_descriptors.cpp
  src/link/linux/timer_period.cpp
  src/serial/linux/adaptor_watch.cpp
  src/serial/linux/device_identity.cpp
  src/serial/linux/line_guard.cpp
  src/serial/linux/line_holders.cpp
  src/serial/linux/open_failure_text.cpp
  src/serial/linux/process_endings.cpp
  src/serial/linux/serial_line_check.cpp
  src/serial/linux/system_ports.cpp
  src/serial/linux/tty_device.cpp
  src/serial/linux/tty_kind.cpp
)
set(ALDL_PLATFORM_CLI_SOURCES
  src/cli/linux/interrupt.cpp
  src/cli/linux/log_file.cpp
)
# The window's: signals, and the settings file in the user's configuration folder.
set(ALDL_PLATFORM_WINDOW_SOURCES
  src/app/linux/close_on_signals.cpp
  src/app/linux/settings_store.cpp
  src/app/linux/window_destroyed.cpp
)
