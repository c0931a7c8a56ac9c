// json_string.h: a text as a JSON string literal, for the JSON the program
// writes by hand (profile files, the command-line tool's output), where the
// order and layout of the fields are its own. Plain C++, no dependencies.
#pragma once

#include <string>
#include <string_view>

namespace velkor {

// Quotes included; the text is UTF-8 and stays so, only quotes, backslashes
// and control characters are escaped.
std::string JsonString(std::string_view text);

}  // namespace velkor
