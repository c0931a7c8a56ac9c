// port_error.h: why a serial port failed, in the few kinds an operator can act
// on, and the one place where errno is sorted into them. No dependencies.
#pragma once

namespace velkor {

enum class PortError {
  None,
  NotFound,          // no such device, or it went away
  PermissionDenied,  // the device exists but this user may not open it
  Busy,              // another program holds the port
  Other,
};

PortError PortErrorFromErrno(int error);

}  // namespace velkor
