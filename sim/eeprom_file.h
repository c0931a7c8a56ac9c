// eeprom_file.h: the emulated EEPROM kept in a file, so that saved parameters
// survive a restart of velkor-sim. One "name value" line per parameter, easy to
// read and to edit by hand. Depends on parameters.h and the C++ library.
#pragma once

#include <optional>
#include <string>

#include "parameters.h"

namespace velkor::sim {

// The parameters stored in `path`; nothing when the file is missing or any
// line is not a known name with a number in range (a damaged EEPROM is not
// half-trusted: the driver falls back to its factory settings).
std::optional<Parameters> LoadEeprom(const std::string& path);

// Writes the parameters to `path` through a temporary file and a rename, so a
// crash never leaves half a file. Returns false when the file cannot be written.
bool SaveEeprom(const std::string& path, const Parameters& parameters);

}  // namespace velkor::sim
