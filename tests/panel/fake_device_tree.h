// fake_device_tree.h: a made-up sysfs and /dev/serial/by-id in a temporary
// directory, for the port list's tests: ttys with or without a device behind
// them, USB devices with their attributes, and udev's by-id links. Removed
// when the tree goes. Depends on the standard library and the port list's roots.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "serial_devices.h"

namespace velkor::test {

class FakeDeviceTree {
 public:
  FakeDeviceTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "velkor-devices-XXXXXX").string();
    root_ = ::mkdtemp(pattern.data());
    std::filesystem::create_directories(Roots().ttyClass);
    std::filesystem::create_directories(Roots().byId);
  }
  ~FakeDeviceTree() { std::filesystem::remove_all(root_); }
  FakeDeviceTree(const FakeDeviceTree&) = delete;
  FakeDeviceTree& operator=(const FakeDeviceTree&) = delete;

  DeviceRoots Roots() const { return {root_ / "sys/class/tty", root_ / "dev/serial/by-id"}; }

  // A class entry; with `device` (a path under sys/devices) it is backed by
  // that device, as the kernel links it.
  void AddTty(const std::string& name, const std::string& device = {}) {
    const std::filesystem::path entry = Roots().ttyClass / name;
    std::filesystem::create_directories(entry);
    if (!device.empty()) {
      std::filesystem::create_directories(root_ / "sys/devices" / device);
      std::filesystem::create_directory_symlink(root_ / "sys/devices" / device, entry / "device");
    }
  }

  // An attribute file of a class entry (`tty`) or of a device (`sys/devices/...`).
  void Write(const std::string& path, const std::string& text) {
    const std::filesystem::path file = path.rfind("sys/", 0) == 0 ? root_ / path : Roots().ttyClass / path;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << text << "\n";
  }

  // A USB device, as sysfs shows one: its vendor, and what it says of itself.
  void AddUsbDevice(const std::string& device, const std::string& product, const std::string& serial,
                    const std::string& manufacturer) {
    Write("sys/devices/" + device + "/idVendor", "0403");
    if (!product.empty()) Write("sys/devices/" + device + "/product", product);
    if (!serial.empty()) Write("sys/devices/" + device + "/serial", serial);
    if (!manufacturer.empty()) Write("sys/devices/" + device + "/manufacturer", manufacturer);
  }

  // udev's stable name for a tty: a relative link to its node, as udev makes it.
  void AddById(const std::string& link, const std::string& tty) {
    std::filesystem::create_symlink("../../" + tty, Roots().byId / link);
  }

  std::string ById(const std::string& link) const { return (Roots().byId / link).string(); }

 private:
  std::filesystem::path root_;
};

}  // namespace velkor::test
