// port_failure_hint.h: what the status line's tooltip says after a port choice
// or a hang-up: for a port that did not open, the system's reason and, for the
// failures an operator can fix, how; for a port that opened but refused its
// setup, or an adapter that was pulled out, what happened; for a network
// port, also what to check on the server. Depends on the link's port, its
// errors, its lock file and the port setup's outcomes.
#pragma once

#include <string>

#include "network_failure.h"
#include "open_port.h"
#include "port_error.h"
#include "port_lock.h"
#include "line_port.h"

namespace velkor {

inline constexpr const char* HINT_BUSY = "Порт занят другой программой. Закройте её и выберите порт снова.";
inline constexpr const char* HINT_MODEM_MANAGER =
    "Возможно, порт проверяет ModemManager: подождите несколько секунд и выберите порт снова. "
    "Чтобы он не трогал порт, остановите его (sudo systemctl stop ModemManager).";
inline constexpr const char* HINT_NOT_CONFIGURED = "Порт открыт, но не настроен: ";
inline constexpr const char* HINT_CHOOSE_AGAIN = "Выберите порт снова.";
inline constexpr const char* HINT_UNPLUGGED_AWAITED = "Адаптер отключён. Порт откроется снова, как только он вернётся.";
inline constexpr const char* HINT_UNPLUGGED = "Адаптер отключён. Выберите порт снова, когда он вернётся.";
inline constexpr const char* HINT_NETWORK =
    "Проверьте адрес и порт, сеть до сервера и что на нём запущен сервер порта (ser2net).";
inline constexpr const char* HINT_NETWORK_BUSY =
    "Порт сервера занят другим клиентом (другой панелью или velkorctl). Закройте его и выберите порт снова.";
inline constexpr const char* HINT_NETWORK_CLOSED =
    "Сервер сам закрыл соединение: посмотрите его журнал и настройки порта (ser2net).";
inline constexpr const char* HINT_NETWORK_RAW =
    "Если на сервере простой TCP-порт, выберите его как tcp:// и настройте на сервере 38400 8N1.";
inline constexpr const char* HINT_NETWORK_SILENT =
    "Возможно, это простой TCP-порт, а не telnet(rfc2217): тогда выберите его как tcp://. "
    "Или сеть до сервера слишком медленная.";
inline constexpr const char* HINT_NETWORK_TLS =
    "Файлы для TLS можно указать в адресе (?ca=ФАЙЛ&cert=ФАЙЛ&key=ФАЙЛ) или в ~/.config/velkor/tls.ini, "
    "в разделе [ХОСТ:ПОРТ]: ca = ФАЙЛ, cert = ФАЙЛ, key = ФАЙЛ.";
inline constexpr const char* HINT_DISCONNECTED_AWAITED =
    "Сервер закрыл соединение. Порт откроется снова, как только сервер снова его примет.";
inline constexpr const char* HINT_NETWORK_BUSY_AWAITED =
    "Устройство на сервере занято другим клиентом. Порт откроется снова, как только сервер его отпустит.";

// What else is known about a port that did not open, for advice that fits.
struct PortFailureContext {
  std::string deviceGroup;  // the group owning the device file; empty when unknown
  LockOwner lockHolder;     // whose lock file marks the port; pid 0: nobody's
  bool modemManagerRunning = false;
  bool network = false;  // the port is on another machine
  NetworkFailure networkFailure = NetworkFailure::None;
};

// Empty when there was no failure.
std::string PortFailureHint(PortError error, const std::string& systemReason,
                            const PortFailureContext& context = {});

// The context of the port's last failure to open `portName`, looked up now.
PortFailureContext ContextOfFailure(const LinePort& port, const std::string& portName);

// The tooltip after a port choice: once polling, empty unless the port has
// something to say about its setup.
std::string PortSetupHint(PortSetup setup, const LinePort& port, const std::string& portName);

}  // namespace velkor
