// serial_devices.cpp: the sysfs walk behind the port list, and the labels
// made of what the USB device, udev's by-id links or the Bluetooth layer say.
#include "serial_devices.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <system_error>

namespace velkor {
namespace {

namespace fs = std::filesystem;

constexpr int COM_PORTS = 9;  // ttyS0..ttyS8 are listed as COM1..COM9
constexpr const char* LABEL_DASH = " — ";
// A tty's device sits a few levels below the USB device it belongs to
// (port, interface, device); the walk up never needs more.
constexpr int USB_DEVICE_DEPTH = 4;

bool IsComPort(const std::string& name) {
  for (int i = 0; i < COM_PORTS; ++i) {
    if (name == "ttyS" + std::to_string(i)) return true;
  }
  return false;
}

bool IsBluetoothPort(const std::string& name) { return name.rfind("rfcomm", 0) == 0; }

// The first line of a sysfs attribute; empty when there is none.
std::string Attribute(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The kernel creates ttyS slots whether or not a UART answers there; serial
// core marks the empty ones with port type 0.
bool IsEmptyUartSlot(const fs::path& tty) {
  std::ifstream typeFile(tty / "type");
  int type = -1;
  return typeFile >> type && type == 0;
}

// Kernel name -> by-id link. Several links to one tty are possible; the first
// by name is taken, so the choice does not change from one look to the next.
std::map<std::string, fs::path> ByIdLinks(const fs::path& byId) {
  std::map<std::string, fs::path> links;
  std::error_code error;
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(byId, error)) names.push_back(entry.path());
  std::sort(names.begin(), names.end());
  for (const fs::path& link : names) {
    const fs::path target = fs::read_symlink(link, error);
    if (!error) links.emplace(target.filename().string(), link);
  }
  return links;
}

// "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0" -> "FTDI FT232R USB UART A50285BI":
// udev joins vendor, model and serial with underscores (one for each space or
// character it leaves out) and appends the interface.
std::string DescriptionFromById(const fs::path& link) {
  std::string name = link.filename().string();
  if (const auto dash = name.find('-'); dash != std::string::npos) name.erase(0, dash + 1);
  if (const auto interface = name.rfind("-if"); interface != std::string::npos) name.erase(interface);
  std::string description;
  for (const char c : name) {
    const char shown = c == '_' ? ' ' : c;
    if (shown != ' ' || (!description.empty() && description.back() != ' ')) description += shown;
  }
  while (!description.empty() && description.back() == ' ') description.pop_back();
  return description;
}

// What the USB device above the tty says of itself: product (or, lacking
// one, manufacturer) and serial number in brackets; and which of its
// interfaces the tty sits on. Empty for other devices.
struct UsbPort {
  std::string description;
  fs::path device;        // the USB device's directory
  std::string interface;  // its bInterfaceNumber, as sysfs gives it ("00", "01")
};

UsbPort FindUsbPort(const fs::path& tty) {
  std::error_code error;
  fs::path dir = fs::canonical(tty / "device", error);
  if (error) return {};
  fs::path below;
  for (int level = 0; level < USB_DEVICE_DEPTH && dir.has_relative_path(); ++level) {
    if (fs::exists(dir / "idVendor", error)) {
      std::string description = Attribute(dir / "product");
      if (description.empty()) description = Attribute(dir / "manufacturer");
      const std::string serial = Attribute(dir / "serial");
      if (!serial.empty()) description += (description.empty() ? "(" : " (") + serial + ")";
      return {description, dir, below.empty() ? std::string() : Attribute(below / "bInterfaceNumber")};
    }
    below = dir;
    dir = dir.parent_path();
  }
  return {};
}

// sysfs gives the interface number in hexadecimal, two digits.
std::string InterfaceNumber(const std::string& hex) {
  int number = 0;
  const auto [end, error] = std::from_chars(hex.data(), hex.data() + hex.size(), number, 16);
  return error == std::errc() ? std::to_string(number) : hex;
}

std::string BluetoothDescription(const fs::path& tty) {
  std::string description = "Bluetooth";
  if (const std::string address = Attribute(tty / "address"); !address.empty()) description += " " + address;
  if (const std::string channel = Attribute(tty / "channel"); !channel.empty()) description += ", канал " + channel;
  return description;
}

}  // namespace

std::vector<SerialDevice> FindSerialDevices(const DeviceRoots& roots) {
  const std::map<std::string, fs::path> byId = ByIdLinks(roots.byId);
  std::vector<SerialDevice> devices;
  std::vector<UsbPort> usbPorts;  // beside `devices`, one for one
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(roots.ttyClass, error)) {
    const fs::path& tty = entry.path();
    const std::string name = tty.filename().string();
    const bool bluetooth = IsBluetoothPort(name);
    // A bound rfcomm port has no device behind it until it connects.
    if (!bluetooth && (IsComPort(name) || !fs::exists(tty / "device", error) || IsEmptyUartSlot(tty))) continue;

    const auto link = byId.find(name);
    const UsbPort usb = bluetooth ? UsbPort{} : FindUsbPort(tty);
    std::string description = bluetooth ? BluetoothDescription(tty) : usb.description;
    if (description.empty() && link != byId.end()) description = DescriptionFromById(link->second);
    devices.push_back({link != byId.end() ? link->second.string() : "/dev/" + name,
                       description.empty() ? name : name + LABEL_DASH + description});
    usbPorts.push_back(usb);
  }
  // The ports of a multi-port adapter say the same of themselves; the
  // interface tells them apart whatever numbers the kernel hands out.
  for (size_t i = 0; i < devices.size(); ++i) {
    const auto sameDevice = [&](const UsbPort& other) {
      return !other.device.empty() && other.device == usbPorts[i].device;
    };
    if (!usbPorts[i].interface.empty() && std::count_if(usbPorts.begin(), usbPorts.end(), sameDevice) > 1) {
      devices[i].label += ", интерфейс " + InterfaceNumber(usbPorts[i].interface);
    }
  }
  std::sort(devices.begin(), devices.end(),
            [](const SerialDevice& a, const SerialDevice& b) { return a.label < b.label; });
  return devices;
}

}  // namespace velkor
