// profile_error.h: what can be wrong with a profile file, as data, and the
// words for it in the two languages the program speaks: English for the
// command-line tool, Russian for the panel. Depends on the parameter table.
#pragma once

#include <cstdint>
#include <string>

namespace velkor {

enum class ProfileErrorKind : uint8_t {
  CannotRead,        // systemError says why
  TooLarge,          // over MAX_PROFILE_BYTES
  BrokenJson,        // line, column; detail: the parser's own words
  NotAProfile,       // no "format": "velkor-profile"; detail: the format found
  NewerVersion,      // detail: the version found
  OtherDevice,       // detail: the device found
  MissingField,      // field: "version", "device" or "parameters"
  BadField,          // field has the wrong type
  UnknownParameter,  // field: the name as written
  NotWholeNumber,    // field: the parameter; detail: the value as written
  OutOfRange,        // the same; the range is the parameter's
  NotADivision,      // stepDivision is none of the sixteen
  NotTrueFalse,      // smoothing is not true or false
  CannotWrite,       // systemError says why
  DuplicateKey,      // field: the key written twice in one object; line, column: the second
  NotARegularFile,   // a FIFO, a device, a socket: refused without reading or replacing it
};

inline constexpr size_t MAX_PROFILE_BYTES = 1 << 20;

struct ProfileError {
  ProfileErrorKind kind = ProfileErrorKind::CannotRead;
  std::string file;   // the path as the operator gave it
  std::string field;  // the parameter or top-level field concerned, if any
  std::string detail;
  int line = 0;    // BrokenJson, DuplicateKey: 1-based
  int column = 0;  // the same, in characters
  int systemError = 0;  // errno for CannotRead and CannotWrite
};

enum class Language : uint8_t { English, Russian };

// One line that names the file and says what is wrong with it.
std::string ProfileErrorText(const ProfileError& error, Language language);

}  // namespace velkor
