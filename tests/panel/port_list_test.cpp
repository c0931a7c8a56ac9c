// port_list_test.cpp: which of a machine's ttys join the port list (on a sysfs
// tree made up for each case), and what the status line's tooltip says when
// a port fails to open.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "port_failure_hint.h"
#include "serial_devices.h"

namespace fs = std::filesystem;
using velkor::FindSerialDevices;
using velkor::PortError;
using velkor::PortFailureHint;

namespace {

struct Tty {
  std::string name;
  bool hasDevice;
  const char* uartType;  // the "type" attribute; nullptr: none
};

class FakeSysfs {
 public:
  explicit FakeSysfs(const std::vector<Tty>& ttys)
      : root_(fs::temp_directory_path() / ("velkor-tty-" + std::to_string(::getpid()))) {
    fs::remove_all(root_);
    for (const Tty& tty : ttys) {
      fs::create_directories(root_ / tty.name);
      if (tty.hasDevice) fs::create_directories(root_ / tty.name / "device");
      if (tty.uartType) std::ofstream(root_ / tty.name / "type") << tty.uartType << "\n";
    }
  }
  ~FakeSysfs() { fs::remove_all(root_); }
  const fs::path& Root() const { return root_; }

 private:
  fs::path root_;
};

TEST(PortList, ListsDevicesBeyondTheComPortsAndLeavesOutConsolesAndEmptyUartSlots) {
  const FakeSysfs sysfs({
      {"tty0", false, nullptr},       // a virtual console
      {"console", false, nullptr},
      {"ttyS0", true, "4"},           // COM1 already
      {"ttyS8", true, "4"},           // COM9 already
      {"ttyS9", true, "4"},           // a real UART past COM9
      {"ttyS10", true, "0"},          // a slot with no UART behind it
      {"ttyUSB0", true, nullptr},
      {"ttyACM1", true, nullptr},
  });
  EXPECT_EQ(FindSerialDevices(sysfs.Root()),
            (std::vector<std::string>{"/dev/ttyACM1", "/dev/ttyS9", "/dev/ttyUSB0"}));
}

TEST(PortList, AMachineWithoutSysfsHasOnlyTheFixedEntries) {
  EXPECT_TRUE(FindSerialDevices("/nonexistent/velkor/tty").empty());
}

TEST(PortList, OnlyAPermissionFailureAdvisesTheDialoutGroup) {
  const std::string denied = PortFailureHint(PortError::PermissionDenied, "Permission denied");
  EXPECT_EQ(denied.rfind("Permission denied\n", 0), 0u);
  EXPECT_NE(denied.find("dialout"), std::string::npos);

  const std::string busy = PortFailureHint(PortError::Busy, "Device or resource busy");
  EXPECT_EQ(busy.rfind("Device or resource busy\n", 0), 0u);
  EXPECT_NE(busy.find("другой программой"), std::string::npos);
  EXPECT_EQ(busy.find("dialout"), std::string::npos);

  EXPECT_EQ(PortFailureHint(PortError::NotFound, "No such file or directory"), "No such file or directory");
  EXPECT_EQ(PortFailureHint(PortError::None, ""), "");
}

}  // namespace
