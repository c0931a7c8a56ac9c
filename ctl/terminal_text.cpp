// terminal_text.cpp: escaping control characters for the terminal.
#include "terminal_text.h"

#include <cstdio>

namespace velkor::ctl {

std::string EscapeControls(std::string_view text) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
    char escape[8];
    if (byte < 0x20 || byte == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
      safe += escape;
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // UTF-8 for U+0080..U+009F
      std::snprintf(escape, sizeof escape, "\\u%04X", next);
      safe += escape;
      ++i;
    } else {
      safe += static_cast<char>(byte);
    }
  }
  return safe;
}

}  // namespace velkor::ctl
