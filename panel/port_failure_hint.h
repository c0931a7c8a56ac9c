// port_failure_hint.h: what the status line's tooltip says after a port failed
// to open: the system's reason, and for the two failures an operator can fix,
// how. Depends on the link's PortError.
#pragma once

#include <string>

#include "port_error.h"

namespace velkor {

inline constexpr const char* HINT_PERMISSION =
    "Нет прав на этот порт. Добавьте пользователя в группу dialout "
    "(sudo usermod -aG dialout $USER), затем выйдите из системы и войдите снова.";
inline constexpr const char* HINT_BUSY = "Порт занят другой программой. Закройте её и выберите порт снова.";

// Empty when there was no failure.
std::string PortFailureHint(PortError error, const std::string& systemReason);

}  // namespace velkor
