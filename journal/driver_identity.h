// driver_identity.h: the name a driver is known by across connections. The
// VK-3 has no serial number, so the port's stable name stands for it: for a
// device, the /dev/serial/by-id link that resolves to it (the USB adapter's
// maker, model and serial number, the same whichever ttyUSB number it gets),
// else its resolved path; for a network port, the address as given; the
// emulator is "emulator". Plain C++ on POSIX.
#pragma once

#include <string>

namespace velkor {

std::string DriverIdentity(const std::string& port, const std::string& byIdDirectory = "/dev/serial/by-id");

// The identity as one file name: every byte but letters, digits, '.', '-'
// and '_' becomes '_', leading ones dropped ("dev_serial_by-id_usb-FTDI_...").
std::string IdentityFileName(const std::string& identity);

}  // namespace velkor
