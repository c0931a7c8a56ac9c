// status_texts.h: every text the link writes into the status line, in UTF-8,
// exactly as the operator reads them. The panel sizes its status line by them.
#pragma once

#include <string_view>

namespace velkor {

inline constexpr std::string_view STATUS_CHOOSE_PORT = "Выберите порт";
inline constexpr std::string_view STATUS_OPEN_FAILED = "Не удалось открыть порт";
inline constexpr std::string_view STATUS_CONNECT_DEVICE = "Подключите устройство";
inline constexpr std::string_view STATUS_CONNECTED = "Соединено VK-3 ID-19.0";
inline constexpr std::string_view STATUS_SENDING = "Передача команды";
inline constexpr std::string_view STATUS_DONE = "Команда выполнена";
inline constexpr std::string_view STATUS_SEND_FAILED = "Ошибка передачи команды";
inline constexpr std::string_view STATUS_LINK_LOST = "Обрыв связи";

inline constexpr std::string_view SMOOTHING_ON = "Сглаживание включено";
inline constexpr std::string_view SMOOTHING_OFF = "Сглаживание отключено";

// Message boxes of the port setup; they end with a space, as the operator has
// always seen them, and name no port.
inline constexpr std::string_view MSG_LINE_SETTINGS_FAILED = "Не выполнена функция SetCommStateдля порта ";
inline constexpr std::string_view MSG_TIMEOUTS_FAILED = "Не выполнена функция SetCommTimeouts() для порта ";
inline constexpr std::string_view MSG_MODEM_LINES_FAILED = "Не выполнена функция EscapeCommFunction() для порта ";

}  // namespace velkor
