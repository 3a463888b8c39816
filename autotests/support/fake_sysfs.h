#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "serial/system_roots.h"

// A sysfs tree, a /proc and a /dev/serial/by-id in a temporary folder, describing device numbers
// of the test's choosing (those of ptys it holds) the way the kernel describes USB adaptors and
// built-in UARTs. Neither sysfs nor /proc is there until a test adds to it.
class FakeSysfs {
 public:
  FakeSysfs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "aldl-sysfs-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
  }
  ~FakeSysfs() { std::filesystem::remove_all(root_); }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  SystemRoots Roots() const { return {root_ / "sys", root_ / "proc", root_ / "by-id", root_ / "lock"}; }
  const std::filesystem::path& Root() const { return root_; }

  // The adaptor's tty, standing for the device node at nodePath, below its usb-serial port (bound
  // to portDriver, ch341-uart), its USB interface (bound to driver, ch341) and the USB device with
  // its attributes (idVendor, product, ...).
  void AddUsbAdaptor(const std::string& nodePath, const std::string& name, const std::string& driver,
                     const std::string& portDriver, const std::map<std::string, std::string>& attributes) {
    const auto usbDevice = Sys() / "devices/pci0000:00/usb1" / name;
    for (const auto& [file, text] : attributes) Write(usbDevice / file, text);
    const auto interface = usbDevice / "interface0";
    Write(interface / "bInterfaceNumber", "00");
    Link(interface / "driver", Sys() / "bus/usb/drivers" / driver);
    Link(interface / name / "driver", Sys() / "bus/usb-serial/drivers" / portDriver);
    AddTty(nodePath, interface / name / "tty" / name);
  }

  // A built-in UART slot; type 0 means no UART is fitted.
  void AddUart(const std::string& nodePath, const std::string& name, int type) {
    const auto port = Sys() / "devices/platform/serial8250" / (name + "-port");
    Write(port / "tty" / name / "type", std::to_string(type));
    AddTty(nodePath, port / "tty" / name);
  }

  void SetConsole(const std::string& names) { Write(Sys() / "class/tty/console/active", names); }

  // A /dev/serial/by-id link to the node; gives its path.
  std::string AddById(const std::string& name, const std::string& nodePath) {
    std::filesystem::create_directories(root_ / "by-id");
    std::filesystem::create_symlink(nodePath, root_ / "by-id" / name);
    return (root_ / "by-id" / name).string();
  }

  void WriteProc(const std::string& file, const std::string& text) { Write(root_ / "proc" / file, text); }

 private:
  std::filesystem::path Sys() const { return root_ / "sys"; }

  // The tty's device is the port it sits in: port/tty/name.
  void AddTty(const std::string& nodePath, const std::filesystem::path& tty) {
    struct stat node {};
    stat(nodePath.c_str(), &node);
    const std::string number =
        std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev));
    Link(Sys() / "dev/char" / number, tty);
    Link(tty / "subsystem", Sys() / "class/tty");
    Link(tty / "device", tty.parent_path().parent_path());
  }

  static void Write(const std::filesystem::path& file, const std::string& text) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text << '\n';
  }

  static void Link(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::filesystem::create_directories(target);
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::create_directory_symlink(target, link);
  }

  std::filesystem::path root_;
};
