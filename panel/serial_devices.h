// serial_devices.h: the serial devices this machine has beyond the fixed
// "COM1".."COM9" entries (USB adapters, Bluetooth serial ports and the like),
// found through sysfs, each with the name that finds it again after a replug
// and a label that tells it from its neighbours. Plain C++ with the standard library.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velkor {

struct SerialDevice {
  // What choosing the device opens: its stable /dev/serial/by-id link where it
  // has one, which follows the adapter to whatever ttyUSB number it gets next,
  // otherwise its node in /dev.
  std::string portName;
  // The kernel's name, then what the device says of itself where it says
  // anything: "ttyUSB0 — FT232R USB UART (A50285BI)".
  std::string label;

  bool operator==(const SerialDevice&) const = default;
};

// Where the walk looks; tests point it at a tree of their own.
struct DeviceRoots {
  std::filesystem::path ttyClass = "/sys/class/tty";
  std::filesystem::path byId = "/dev/serial/by-id";
};

// Every tty under `ttyClass` that is backed by a device, and every Bluetooth
// serial port (rfcomm), sorted by label. Left out: ttyS0..ttyS8 (they are
// COM1..COM9) and the UART slots the kernel reserves without hardware behind them.
std::vector<SerialDevice> FindSerialDevices(const DeviceRoots& roots = {});

}  // namespace velkor
