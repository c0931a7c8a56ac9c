// serial_devices.cpp: the sysfs walk behind the port list.
#include "serial_devices.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace velkor {
namespace {

constexpr int COM_PORTS = 9;  // ttyS0..ttyS8 are listed as COM1..COM9

bool IsComPort(const std::string& name) {
  for (int i = 0; i < COM_PORTS; ++i) {
    if (name == "ttyS" + std::to_string(i)) return true;
  }
  return false;
}

// The kernel creates ttyS slots whether or not a UART answers there; serial
// core marks the empty ones with port type 0.
bool IsEmptyUartSlot(const std::filesystem::path& tty) {
  std::ifstream typeFile(tty / "type");
  int type = -1;
  return typeFile >> type && type == 0;
}

}  // namespace

std::vector<std::string> FindSerialDevices(const std::filesystem::path& ttyClass) {
  std::vector<std::string> devices;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(ttyClass, error)) {
    const std::string name = entry.path().filename().string();
    if (IsComPort(name) || !std::filesystem::exists(entry.path() / "device", error)) continue;
    if (IsEmptyUartSlot(entry.path())) continue;
    devices.push_back("/dev/" + name);
  }
  std::sort(devices.begin(), devices.end());
  return devices;
}

}  // namespace velkor
