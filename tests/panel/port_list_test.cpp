// port_list_test.cpp: which of a machine's ttys join the port list, under
// which name and label (on a sysfs and by-id tree made up for each case), and
// what the status line's tooltip says when a port fails to open.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "fake_device_tree.h"
#include "port_failure_hint.h"
#include "serial_devices.h"

using velkor::DeviceRoots;
using velkor::FindSerialDevices;
using velkor::PortError;
using velkor::PortFailureHint;
using velkor::SerialDevice;
using velkor::test::FakeDeviceTree;

namespace velkor {
// Printed in full when a comparison fails.
void PrintTo(const SerialDevice& d, std::ostream* out) { *out << "{" << d.portName << ", " << d.label << "}"; }
}  // namespace velkor

namespace {

TEST(PortList, ListsDevicesBeyondTheComPortsAndLeavesOutConsolesAndEmptyUartSlots) {
  FakeDeviceTree tree;
  tree.AddTty("tty0");  // a virtual console
  tree.AddTty("console");
  tree.AddTty("ttyS0", "platform/serial8250/tty/ttyS0");  // COM1 already
  tree.Write("ttyS0/type", "4");
  tree.AddTty("ttyS8", "platform/serial8250/tty/ttyS8");  // COM9 already
  tree.Write("ttyS8/type", "4");
  tree.AddTty("ttyS9", "platform/serial8250/tty/ttyS9");  // a real UART past COM9
  tree.Write("ttyS9/type", "4");
  tree.AddTty("ttyS10", "platform/serial8250/tty/ttyS10");  // a slot with no UART behind it
  tree.Write("ttyS10/type", "0");
  tree.AddTty("ttyUSB0", "pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0");
  tree.AddTty("ttyACM1", "pci0000:00/usb1/1-2/1-2:1.0");
  EXPECT_EQ(FindSerialDevices(tree.Roots()), (std::vector<SerialDevice>{{"/dev/ttyACM1", "ttyACM1"},
                                                                        {"/dev/ttyS9", "ttyS9"},
                                                                        {"/dev/ttyUSB0", "ttyUSB0"}}));
}

TEST(PortList, AMachineWithoutSysfsHasOnlyTheFixedEntries) {
  EXPECT_TRUE(FindSerialDevices({"/nonexistent/velkor/tty", "/nonexistent/velkor/by-id"}).empty());
}

// Two adapters of one make, and the two halves of a dual adapter, each under
// the stable name that finds it again after a replug, labelled with what the
// USB device says of itself.
TEST(PortList, AdaptersAreOpenedByTheirStableNameAndLabelledWithProductAndSerial) {
  FakeDeviceTree tree;
  tree.AddUsbDevice("usb1/1-1", "FT232R USB UART", "A50285BI", "FTDI");
  tree.AddTty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
  tree.AddById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "ttyUSB0");
  tree.AddUsbDevice("usb1/1-2", "FT232R USB UART", "A9K3L1QX", "FTDI");
  tree.AddTty("ttyUSB3", "usb1/1-2/1-2:1.0/ttyUSB3");
  tree.AddById("usb-FTDI_FT232R_USB_UART_A9K3L1QX-if00-port0", "ttyUSB3");
  tree.AddUsbDevice("usb1/1-3", "Dual RS232-HS", "FT4Z7A", "FTDI");
  tree.AddTty("ttyUSB1", "usb1/1-3/1-3:1.0/ttyUSB1");
  tree.AddTty("ttyUSB2", "usb1/1-3/1-3:1.1/ttyUSB2");
  tree.AddById("usb-FTDI_Dual_RS232-HS_FT4Z7A-if00-port0", "ttyUSB1");
  tree.AddById("usb-FTDI_Dual_RS232-HS_FT4Z7A-if01-port0", "ttyUSB2");
  tree.Write("sys/devices/usb1/1-3/1-3:1.0/bInterfaceNumber", "00");
  tree.Write("sys/devices/usb1/1-3/1-3:1.1/bInterfaceNumber", "01");
  tree.Write("sys/devices/usb1/1-1/1-1:1.0/bInterfaceNumber", "00");

  EXPECT_EQ(FindSerialDevices(tree.Roots()),
            (std::vector<SerialDevice>{
                {tree.ById("usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"), "ttyUSB0 — FT232R USB UART (A50285BI)"},
                {tree.ById("usb-FTDI_Dual_RS232-HS_FT4Z7A-if00-port0"), "ttyUSB1 — Dual RS232-HS (FT4Z7A), интерфейс 0"},
                {tree.ById("usb-FTDI_Dual_RS232-HS_FT4Z7A-if01-port0"), "ttyUSB2 — Dual RS232-HS (FT4Z7A), интерфейс 1"},
                {tree.ById("usb-FTDI_FT232R_USB_UART_A9K3L1QX-if00-port0"), "ttyUSB3 — FT232R USB UART (A9K3L1QX)"},
            }));
}

// What else a device may or may not say: the maker alone, nothing in sysfs
// but a by-id name, and Bluetooth ports, which have no device until they connect.
TEST(PortList, LabelsFallBackOnTheMakerOrTheByIdNameAndBluetoothPortsAreListed) {
  FakeDeviceTree tree;
  tree.AddUsbDevice("usb2/2-1", "", "", "QinHeng Electronics");
  tree.AddTty("ttyUSB0", "usb2/2-1/2-1:1.0/ttyUSB0");
  tree.AddTty("ttyACM0", "usb2/2-2/2-2:1.0");
  tree.AddById("usb-Arduino__www.arduino.cc__0043_7563331-if00", "ttyACM0");
  tree.AddTty("rfcomm0");
  tree.Write("rfcomm0/address", "00:1A:7D:DA:71:13");
  tree.Write("rfcomm0/channel", "1");
  tree.AddTty("rfcomm1");

  EXPECT_EQ(FindSerialDevices(tree.Roots()),
            (std::vector<SerialDevice>{
                {"/dev/rfcomm0", "rfcomm0 — Bluetooth 00:1A:7D:DA:71:13, канал 1"},
                {"/dev/rfcomm1", "rfcomm1 — Bluetooth"},
                {tree.ById("usb-Arduino__www.arduino.cc__0043_7563331-if00"),
                 "ttyACM0 — Arduino www.arduino.cc 0043 7563331"},
                {"/dev/ttyUSB0", "ttyUSB0 — QinHeng Electronics"},
            }));
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
