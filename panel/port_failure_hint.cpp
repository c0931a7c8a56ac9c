// port_failure_hint.cpp: the reason first, the advice on the next line.
#include "port_failure_hint.h"

#include <grp.h>
#include <sys/stat.h>

#include "any_port.h"
#include "make_port.h"
#include "port_name.h"
#include "processes.h"

namespace velkor {
namespace {

// Where a device's group is not known, the group Debian gives serial ports.
constexpr const char* USUAL_SERIAL_GROUP = "dialout";

std::string PermissionAdvice(const std::string& group) {
  if (group == "root") {
    return "Нет прав на этот порт: им может пользоваться только root. "
           "Попросите администратора открыть вам доступ к нему.";
  }
  const std::string name = group.empty() ? USUAL_SERIAL_GROUP : group;
  return "Нет прав на этот порт. Добавьте пользователя в группу " + name + " (sudo usermod -aG " + name +
         " $USER), затем выйдите из системы и войдите снова.";
}

std::string BusyAdvice(const PortFailureContext& context) {
  const LockOwner& holder = context.lockHolder;
  if (holder.pid != 0) {
    const std::string pid = std::to_string(holder.pid);
    const std::string who = holder.program.empty() ? "с pid " + pid : holder.program + " (pid " + pid + ")";
    return "Порт занят программой " + who + ". Закройте её и выберите порт снова.";
  }
  std::string advice = HINT_BUSY;
  if (context.modemManagerRunning) advice += std::string("\n") + HINT_MODEM_MANAGER;
  return advice;
}

// What to do about a network port, by what went wrong.
const char* NetworkAdvice(NetworkFailure failure) {
  switch (failure) {
    case NetworkFailure::ServerBusy: return HINT_NETWORK_BUSY;
    case NetworkFailure::ServerClosed: return HINT_NETWORK_CLOSED;
    case NetworkFailure::ComPortRefused:
    case NetworkFailure::BinaryRefused: return HINT_NETWORK_RAW;
    case NetworkFailure::NegotiationSilent: return HINT_NETWORK_SILENT;
    case NetworkFailure::TlsFileRefused:
    case NetworkFailure::TlsNotTrusted:
    case NetworkFailure::TlsCertificateRequired:
    case NetworkFailure::TlsCertificateRefused: return HINT_NETWORK_TLS;
    default: return HINT_NETWORK;
  }
}

std::string GroupOf(const std::string& devicePath) {
  struct stat device {};
  if (stat(devicePath.c_str(), &device) != 0) return {};
  const group* owner = getgrgid(device.st_gid);
  return owner ? owner->gr_name : std::to_string(device.st_gid);
}

}  // namespace

std::string PortFailureHint(PortError error, const std::string& systemReason, const PortFailureContext& context) {
  if (error == PortError::None) return {};
  if (context.network) return systemReason + "\n" + NetworkAdvice(context.networkFailure);
  switch (error) {
    case PortError::None: return {};
    case PortError::PermissionDenied: return systemReason + "\n" + PermissionAdvice(context.deviceGroup);
    case PortError::Busy: return systemReason + "\n" + BusyAdvice(context);
    case PortError::NotFound:
    case PortError::Other: break;
  }
  return systemReason;
}

PortFailureContext ContextOfFailure(const LinePort& port, const std::string& portName) {
  PortFailureContext context;
  context.network = KindOfPort(portName) == PortKind::Network;
  if (const NetworkPort* network = NetworkPortOf(port)) context.networkFailure = network->Failure();
  if (port.LastError() == PortError::PermissionDenied) context.deviceGroup = GroupOf(DevicePath(portName));
  if (port.LastError() == PortError::Busy) {
    context.lockHolder = port.LockHolder();
    context.modemManagerRunning = ProgramRunning("ModemManager");
  }
  return context;
}

std::string PortSetupHint(PortSetup setup, const LinePort& port, const std::string& portName) {
  switch (setup) {
    case PortSetup::Polling: return port.SetupNotes();
    case PortSetup::OpenFailed:
      return PortFailureHint(port.LastError(), port.LastErrorText(), ContextOfFailure(port, portName));
    case PortSetup::NotConfigured:
      return HINT_NOT_CONFIGURED + port.LastErrorText() + "\n" + HINT_CHOOSE_AGAIN;
  }
  return {};
}

}  // namespace velkor
