#pragma once

#include <string>
#include <vector>

#include "chip.h"

// The chip as a device on a USB device controller of this machine (the kernel's dummy_hcd,
// whose host side is this machine's too): a gadget in configfs whose one function is
// FunctionFS, so that this program answers endpoint 0 and moves the bulk data. Made in its own
// names (NAME is unique per process) and taken apart again by the destructor.
class Gadget {
 public:
  Gadget(const std::string& name, const UsbIdentity& identity, const std::string& serial);
  ~Gadget();
  Gadget(const Gadget&) = delete;
  Gadget& operator=(const Gadget&) = delete;

  // Plugs the device into the controller, or pulls it out.
  void Plug(const std::string& controller);
  void Unplug();

  int Control() const { return ep0_; }
  // The descriptor of an endpoint of the identity's list.
  int Endpoint(std::size_t index) const { return endpoints_.at(index); }

 private:
  std::string gadgetDir_;
  std::string functionDir_;
  std::string mountDir_;
  int ep0_ = -1;
  std::vector<int> endpoints_;
  bool plugged_ = false;
};
