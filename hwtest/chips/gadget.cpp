#include "gadget.h"

#include <fcntl.h>
#include <linux/usb/ch9.h>
#include <linux/usb/functionfs.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace {

constexpr char kConfigfs[] = "/sys/kernel/config/usb_gadget";

std::runtime_error Failure(const std::string& what) {
  return std::runtime_error(what + ": " + std::strerror(errno));
}

void WriteAttribute(const std::string& path, const std::string& text) {
  std::ofstream file(path);
  file << text << std::flush;
  if (!file) throw Failure("cannot write " + text + " to " + path);
}

std::string Hex(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04x", value);
  return text;
}

void MakeDir(const std::string& path) {
  if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) throw Failure("cannot make " + path);
}

void Put(std::vector<std::uint8_t>& out, std::initializer_list<int> bytes) {
  for (const int byte : bytes) out.push_back(static_cast<std::uint8_t>(byte));
}

void PutLe32(std::vector<std::uint8_t>& out, std::uint32_t value) {
  Put(out, {static_cast<int>(value & 0xff), static_cast<int>(value >> 8 & 0xff),
            static_cast<int>(value >> 16 & 0xff), static_cast<int>(value >> 24)});
}

// One speed's descriptors: the interface and its endpoints, numbered in the list's order (the
// gadget framework gives them their real addresses).
std::vector<std::uint8_t> InterfaceDescriptors(const UsbIdentity& identity, bool highSpeed) {
  std::vector<std::uint8_t> out;
  Put(out, {USB_DT_INTERFACE_SIZE, USB_DT_INTERFACE, 0, 0, static_cast<int>(identity.endpoints.size()),
            identity.interfaceClass, identity.interfaceSubClass, identity.interfaceProtocol, 0});
  if (identity.interfaceClass == USB_CLASS_COMM) {
    // FunctionFS refuses CDC's functional descriptors; cdc-acm needs some descriptor after the
    // interface before it takes a device without a union descriptor as one interface. An
    // association of this one interface is one FunctionFS passes, and cdc-acm skips it.
    Put(out, {8, USB_DT_INTERFACE_ASSOCIATION, 0, 1, identity.interfaceClass, identity.interfaceSubClass,
              identity.interfaceProtocol, 0});
  }
  int number = 1;
  for (const UsbIdentity::Endpoint endpoint : identity.endpoints) {
    const bool in = endpoint != UsbIdentity::Endpoint::BulkOut;
    const bool interrupt = endpoint == UsbIdentity::Endpoint::InterruptIn;
    const int packet = interrupt ? 16 : highSpeed ? 512 : 64;
    Put(out, {USB_DT_ENDPOINT_SIZE, USB_DT_ENDPOINT, number | (in ? USB_DIR_IN : USB_DIR_OUT),
              interrupt ? USB_ENDPOINT_XFER_INT : USB_ENDPOINT_XFER_BULK, packet & 0xff, packet >> 8,
              interrupt ? (highSpeed ? 4 : 1) : 0});
    ++number;
  }
  return out;
}

int DescriptorCount(const UsbIdentity& identity) {
  return 1 + (identity.interfaceClass == USB_CLASS_COMM ? 1 : 0) + static_cast<int>(identity.endpoints.size());
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes, const std::string& what) {
  if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) throw Failure(what);
}

}  // namespace

Gadget::Gadget(const std::string& name, const UsbIdentity& identity, const std::string& serial)
    : gadgetDir_(std::string(kConfigfs) + "/" + name),
      functionDir_(gadgetDir_ + "/functions/ffs." + name),
      mountDir_("/dev/ffs-" + name) {
  MakeDir(gadgetDir_);
  WriteAttribute(gadgetDir_ + "/idVendor", Hex(identity.vendor));
  WriteAttribute(gadgetDir_ + "/idProduct", Hex(identity.product));
  WriteAttribute(gadgetDir_ + "/bcdDevice", Hex(identity.bcdDevice));
  WriteAttribute(gadgetDir_ + "/bDeviceClass", std::to_string(identity.deviceClass));
  MakeDir(gadgetDir_ + "/strings/0x409");
  WriteAttribute(gadgetDir_ + "/strings/0x409/manufacturer", identity.manufacturer);
  WriteAttribute(gadgetDir_ + "/strings/0x409/product", identity.productName);
  WriteAttribute(gadgetDir_ + "/strings/0x409/serialnumber", serial);
  MakeDir(gadgetDir_ + "/configs/c.1");
  WriteAttribute(gadgetDir_ + "/configs/c.1/MaxPower", "100");
  MakeDir(functionDir_);
  if (symlink(functionDir_.c_str(), (gadgetDir_ + "/configs/c.1/ffs." + name).c_str()) != 0) {
    throw Failure("cannot put the function in the configuration");
  }
  MakeDir(mountDir_);
  if (mount(name.c_str(), mountDir_.c_str(), "functionfs", 0, nullptr) != 0) {
    throw Failure("cannot mount FunctionFS " + name);
  }
  ep0_ = open((mountDir_ + "/ep0").c_str(), O_RDWR | O_CLOEXEC);
  if (ep0_ < 0) throw Failure("cannot open " + mountDir_ + "/ep0");

  const int count = DescriptorCount(identity);
  std::vector<std::uint8_t> descriptors;
  PutLe32(descriptors, FUNCTIONFS_DESCRIPTORS_MAGIC_V2);
  PutLe32(descriptors, 0);  // the length, once known
  // Vendor requests come addressed to the device: the driver asks a CP210x its part number so.
  PutLe32(descriptors, FUNCTIONFS_HAS_FS_DESC | FUNCTIONFS_HAS_HS_DESC | FUNCTIONFS_ALL_CTRL_RECIP);
  PutLe32(descriptors, count);
  PutLe32(descriptors, count);
  for (const bool highSpeed : {false, true}) {
    const auto speed = InterfaceDescriptors(identity, highSpeed);
    descriptors.insert(descriptors.end(), speed.begin(), speed.end());
  }
  const auto length = static_cast<std::uint32_t>(descriptors.size());
  for (int i = 0; i < 4; ++i) descriptors[4 + i] = static_cast<std::uint8_t>(length >> (8 * i));
  WriteAll(ep0_, descriptors, "FunctionFS refused the descriptors");
  std::vector<std::uint8_t> strings;
  PutLe32(strings, FUNCTIONFS_STRINGS_MAGIC);
  PutLe32(strings, 16);
  PutLe32(strings, 0);
  PutLe32(strings, 0);
  WriteAll(ep0_, strings, "FunctionFS refused the strings");

  for (std::size_t i = 1; i <= identity.endpoints.size(); ++i) {
    const std::string path = mountDir_ + "/ep" + std::to_string(i);
    const int fd = open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) throw Failure("cannot open " + path);
    endpoints_.push_back(fd);
  }
}

void Gadget::Plug(const std::string& controller) {
  WriteAttribute(gadgetDir_ + "/UDC", controller);
  plugged_ = true;
}

void Gadget::Unplug() {
  if (!plugged_) return;
  plugged_ = false;
  WriteAttribute(gadgetDir_ + "/UDC", "\n");
}

Gadget::~Gadget() {
  try {
    Unplug();
  } catch (const std::runtime_error&) {
    // The controller went first; nothing is plugged into it then.
  }
  for (const int fd : endpoints_) close(fd);
  if (ep0_ >= 0) close(ep0_);
  umount2(mountDir_.c_str(), MNT_DETACH);
  rmdir(mountDir_.c_str());
  const std::string name = functionDir_.substr(functionDir_.rfind("/ffs.") + 1);
  unlink((gadgetDir_ + "/configs/c.1/" + name).c_str());
  rmdir((gadgetDir_ + "/configs/c.1").c_str());
  rmdir(functionDir_.c_str());
  rmdir((gadgetDir_ + "/strings/0x409").c_str());
  rmdir(gadgetDir_.c_str());
}
