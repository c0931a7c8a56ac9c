// port_name.h: the device file behind a name in the port selector. No dependencies.
#pragma once

#include <string>
#include <string_view>

namespace velkor {

// "COMn" (n from 1) is the n-th on-board serial port, /dev/ttyS(n-1): the names
// operators know their ports by. Any other name, such as /dev/ttyUSB0, is
// taken as the path it is.
std::string DevicePath(std::string_view portName);

}  // namespace velkor
