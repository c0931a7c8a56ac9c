// port_error.cpp: errno sorted into the kinds of port failure.
#include "port_error.h"

#include <cerrno>

namespace velkor {

PortError PortErrorFromErrno(int error) {
  switch (error) {
    case 0: return PortError::None;
    case ENOENT:
    case ENODEV:
    case ENXIO: return PortError::NotFound;
    case EACCES:
    case EPERM: return PortError::PermissionDenied;
    case EBUSY: return PortError::Busy;
    default: return PortError::Other;
  }
}

}  // namespace velkor
