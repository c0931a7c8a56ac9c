// json_string.h: a text as a JSON string literal, for the JSON the program
// writes by hand (profile files, the command-line tool's output), where the
// order and layout of the fields are its own. Plain C++, no dependencies.
#pragma once

#include <string>
#include <string_view>

namespace velkor {

// Quotes included. Well-formed UTF-8 stays as it is, only quotes, backslashes
// and control characters are escaped. A byte that is not part of well-formed
// UTF-8 (a device path may hold any byte but '/' and NUL) becomes \udcXX, XX
// the byte: the output is valid JSON whatever the input, and a reader that
// maps such lone surrogates back to bytes, as Python's surrogateescape does,
// gets the very bytes.
std::string JsonString(std::string_view text);

}  // namespace velkor
