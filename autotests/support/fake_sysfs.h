#pragma once

#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "serial/system_roots.h"

// A sysfs tree, a /proc and a /dev/serial/by-id in a temporary folder, describing device numbers
// of the test's choosing (those of ptys it holds) the way the kernel describes USB adaptors and
// built-in UARTs. /proc is empty until a test writes to it.
class FakeSysfs {
 public:
  struct UsbAdaptor {
    std::string name;           // ttyUSB0, ttyACM0
    std::string vendorId, productId, manufacturer, product, serialNumber;
    std::string driver;         // bound to the USB interface: ftdi_sio, ch341, cdc_acm, ...
    std::string portDriver;     // the usb-serial port's own driver (ch341-uart); "" for cdc_acm
  };

  FakeSysfs() {
    std::string pattern = (std::filesystem::temp_directory_path() / "aldl-sysfs-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    for (const char* dir : {"sys/dev/char", "sys/class/tty/console", "proc", "by-id"}) {
      std::filesystem::create_directories(root_ / dir);
    }
  }
  ~FakeSysfs() { std::filesystem::remove_all(root_); }
  FakeSysfs(const FakeSysfs&) = delete;
  FakeSysfs& operator=(const FakeSysfs&) = delete;

  SystemRoots Roots() const { return {root_ / "sys", root_ / "proc", root_ / "by-id"}; }
  const std::filesystem::path& Root() const { return root_; }

  // The adaptor on USB port 1-usbPort, its tty standing for the device node at nodePath.
  void AddUsbAdaptor(const std::string& nodePath, int usbPort, const UsbAdaptor& adaptor) {
    const auto usbDevice = Sys() / "devices/pci0000:00/0000:00:14.0/usb1" / ("1-" + std::to_string(usbPort));
    Write(usbDevice / "idVendor", adaptor.vendorId);
    Write(usbDevice / "idProduct", adaptor.productId);
    if (!adaptor.manufacturer.empty()) Write(usbDevice / "manufacturer", adaptor.manufacturer);
    if (!adaptor.product.empty()) Write(usbDevice / "product", adaptor.product);
    if (!adaptor.serialNumber.empty()) Write(usbDevice / "serial", adaptor.serialNumber);
    const auto interface = usbDevice / ("1-" + std::to_string(usbPort) + ":1.0");
    Write(interface / "bInterfaceNumber", "00");
    Link(interface / "driver", Sys() / "bus/usb/drivers" / adaptor.driver);
    auto parent = interface;
    if (!adaptor.portDriver.empty()) {
      parent = interface / adaptor.name;
      Link(parent / "driver", Sys() / "bus/usb-serial/drivers" / adaptor.portDriver);
    }
    AddTty(nodePath, parent / "tty" / adaptor.name, parent);
  }

  // A built-in UART slot; type 0 means no UART is fitted.
  void AddUart(const std::string& nodePath, const std::string& name, int type) {
    const auto port = Sys() / "devices/platform/serial8250" / (name + "-port");
    const auto tty = port / "tty" / name;
    Write(tty / "type", std::to_string(type));
    AddTty(nodePath, tty, port);
  }

  void SetConsole(const std::string& names) { Write(Sys() / "class/tty/console/active", names); }

  void AddById(const std::string& name, const std::string& nodePath) {
    std::filesystem::create_symlink(nodePath, root_ / "by-id" / name);
  }

  void WriteProc(const std::string& file, const std::string& text) { Write(root_ / "proc" / file, text); }

 private:
  std::filesystem::path Sys() const { return root_ / "sys"; }

  void AddTty(const std::string& nodePath, const std::filesystem::path& tty,
              const std::filesystem::path& device) {
    struct stat node {};
    stat(nodePath.c_str(), &node);
    const std::string number =
        std::to_string(major(node.st_rdev)) + ":" + std::to_string(minor(node.st_rdev));
    Write(tty / "dev", number);
    Link(tty / "subsystem", Sys() / "class/tty");
    Link(tty / "device", device);
    Link(Sys() / "dev/char" / number, tty);
    Link(Sys() / "class/tty" / tty.filename(), tty);
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
