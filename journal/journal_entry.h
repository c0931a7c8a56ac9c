// journal_entry.h: one line of the journal: a parameter change, a save or a
// profile apply, with when, which program on which host (and for which remote
// client) made it, on which driver, and what is known of its outcome; and its
// JSON line. Plain C++; depends on the parameter table.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "parameter_table.h"

namespace velkor {

enum class JournalKind : uint8_t {
  Change,   // one parameter set: old -> new
  Save,     // the driver's values saved to EEPROM
  Profile,  // a profile applied (its changes have lines of their own)
};

struct JournalEntry {
  std::string time;      // ISO-8601 UTC to the millisecond; filled on append when empty
  std::string program;   // "velkorctl", "velkor", "velkord"; filled on append when empty
  std::string host;      // filled on append when empty
  std::string client;    // the remote client that asked (velkord); empty: none
  std::string driver;    // velkord's name for the driver; empty elsewhere
  std::string port;      // the port as it was named
  std::string identity;  // the port's stable name (see DriverIdentity)
  JournalKind kind = JournalKind::Change;
  // Change: the parameter, its value before (unknown: nothing), the value
  // asked for, and the value the driver reported afterwards (none: not read back).
  std::optional<ParameterId> parameter;
  std::optional<int32_t> oldValue;
  std::optional<int32_t> newValue;
  std::optional<int32_t> reported;
  // Change: reported back with the new value. Save: acknowledged. Profile:
  // every value confirmed. Nothing: not known.
  std::optional<bool> confirmed;
  // Whether the change went to EEPROM (a save acknowledged after it); nothing: not known.
  std::optional<bool> saved;
  std::string profile;   // Profile: the file or source the profile came from
  std::string message;   // why it did not end well; empty: nothing to say
};

std::string_view JournalKindName(JournalKind kind);
std::optional<JournalKind> JournalKindByName(std::string_view name);

// "2026-12-08T21:50:03.125Z".
std::string JournalTime(std::chrono::system_clock::time_point time);

// The entry as one JSON object on one line, ending in a newline.
std::string JournalLine(const JournalEntry& entry);

}  // namespace velkor
