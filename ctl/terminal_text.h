// terminal_text.h: text from outside (a file name, a profile's contents, a
// system's words) made safe to print on a terminal: control characters, which
// a terminal would act on, are written out as escapes. Plain C++.
#pragma once

#include <string>
#include <string_view>

namespace velkor::ctl {

// C0 controls and DEL as "\xNN", C1 controls (U+0080..U+009F) as "\uNNNN";
// everything else, other UTF-8 included, as it is.
std::string EscapeControls(std::string_view text);

}  // namespace velkor::ctl
