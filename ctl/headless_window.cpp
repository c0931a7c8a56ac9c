// headless_window.cpp: the link's status texts and the port setup's messages,
// put into English.
#include "headless_window.h"

#include <array>
#include <utility>

#include "status_texts.h"

namespace velkor::ctl {
namespace {

constexpr std::array<std::pair<std::string_view, std::string_view>, 11> ENGLISH = {{
    {STATUS_CHOOSE_PORT, "no port chosen"},
    {STATUS_OPEN_FAILED, "the port could not be opened"},
    {STATUS_CONNECT_DEVICE, "the port is open, but the driver has not answered"},
    {STATUS_CONNECTED, "connected to a VK-3"},
    {STATUS_SENDING, "a command is being sent"},
    {STATUS_DONE, "the driver acknowledged the command"},
    {STATUS_SEND_FAILED, "the driver left a command unacknowledged 26 times"},
    {STATUS_LINK_LOST, "the link dropped: the driver fell silent"},
    {MSG_LINE_SETTINGS_FAILED, "the port refused its line settings (38400 baud, 8 data bits, no parity, 1 stop bit)"},
    {MSG_TIMEOUTS_FAILED, "the port refused its read and write timeouts"},
    {MSG_MODEM_LINES_FAILED, "the port refused to raise DTR or to lower RTS"},
}};

}  // namespace

std::string EnglishMessage(std::string_view text) {
  for (const auto& [russian, english] : ENGLISH) {
    if (text == russian) return std::string(english);
  }
  return std::string(text);
}

void HeadlessWindow::ShowMessage(std::string_view text) {
  if (holdMessages) {
    heldMessage = text;
    return;
  }
  std::fprintf(messages_, "velkorctl: %s\n", EnglishMessage(text).c_str());
}

}  // namespace velkor::ctl
