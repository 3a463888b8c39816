#include "serial/port_identity.h"

std::string KindName(PortIdentity::Kind kind) {
  switch (kind) {
    case PortIdentity::Kind::Simulated: return "simulated";
    case PortIdentity::Kind::Missing: return "missing";
    case PortIdentity::Kind::NotSerial: return "not-serial";
    case PortIdentity::Kind::Usb: return "usb";
    case PortIdentity::Kind::Uart: return "uart";
    case PortIdentity::Kind::EmptyUartSlot: return "empty-uart-slot";
    case PortIdentity::Kind::OtherSerial: return "serial";
    case PortIdentity::Kind::Pty: return "pty";
    case PortIdentity::Kind::Unknown: break;
  }
  return "unknown";
}

std::string DescribeIdentity(const PortIdentity& identity) {
  const std::string console = identity.kernelConsole ? ", the kernel's console" : "";
  switch (identity.kind) {
    case PortIdentity::Kind::Simulated:
      return "simulated adaptor";
    case PortIdentity::Kind::Missing:
      return "no such device";
    case PortIdentity::Kind::NotSerial:
      return "not a serial line" + (identity.name.empty() ? "" : " (" + identity.name + ")");
    case PortIdentity::Kind::Usb: {
      std::string text = identity.manufacturer;
      if (!identity.product.empty()) text += (text.empty() ? "" : " ") + identity.product;
      if (text.empty()) text = "USB serial adaptor";
      text += " (USB " + identity.vendorId + ":" + identity.productId;
      if (!identity.driver.empty()) text += ", " + identity.driver;
      if (!identity.serialNumber.empty()) text += ", serial " + identity.serialNumber;
      if (!identity.latencyTimer.empty()) text += ", latency timer " + identity.latencyTimer + " ms";
      return text + ")" + console;
    }
    case PortIdentity::Kind::Uart:
      return "built-in UART " + identity.uartType + console;
    case PortIdentity::Kind::EmptyUartSlot:
      return "serial port slot with no UART";
    case PortIdentity::Kind::OtherSerial:
      return "serial line " + identity.name + console;
    case PortIdentity::Kind::Pty:
      return "pseudo-terminal " + identity.name;
    case PortIdentity::Kind::Unknown:
      break;
  }
  return "cannot be identified";
}
