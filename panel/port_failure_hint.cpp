// port_failure_hint.cpp: the reason first, the advice on the next line.
#include "port_failure_hint.h"

namespace velkor {

std::string PortFailureHint(PortError error, const std::string& systemReason) {
  switch (error) {
    case PortError::None: return {};
    case PortError::PermissionDenied: return systemReason + "\n" + HINT_PERMISSION;
    case PortError::Busy: return systemReason + "\n" + HINT_BUSY;
    case PortError::NotFound:
    case PortError::Other: break;
  }
  return systemReason;
}

}  // namespace velkor
