// serial_devices.h: the serial devices this machine has beyond the fixed
// "COM1".."COM9" entries (USB adapters and the like), found through sysfs.
// Plain C++ with the standard library.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velkor {

// Device paths ("/dev/ttyUSB0"), sorted, of every tty under `ttyClass` that is
// backed by a device, leaving out ttyS0..ttyS8 (they are COM1..COM9) and the
// UART slots the kernel reserves without hardware behind them.
std::vector<std::string> FindSerialDevices(const std::filesystem::path& ttyClass = "/sys/class/tty");

}  // namespace velkor
