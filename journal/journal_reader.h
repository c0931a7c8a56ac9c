// journal_reader.h: reading a journal back: its lines parsed into entries,
// chosen by driver and by time, a torn or garbled line skipped and counted
// rather than trusted; the time a `--since` names; and an entry in words.
// Depends on QtCore's JSON parser and journal_entry.h.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "journal_entry.h"

namespace velkor {

struct JournalFilter {
  std::string driver;  // empty: all; else matched against driver, port or identity
  std::optional<std::chrono::system_clock::time_point> since;
};

struct JournalLineRead {
  JournalEntry entry;
  std::string line;  // as it is in the file, without its newline
};

struct JournalRead {
  std::vector<JournalLineRead> lines;  // the chosen ones, in file order
  std::vector<size_t> skipped;         // numbers (from 1) of the lines that are not journal entries
};

JournalRead ReadJournalText(std::string_view text, const JournalFilter& filter);

// A time as ISO-8601 UTC ("2026-12-08", "2026-12-08T10:00", "2026-12-08T10:00:00Z",
// with or without milliseconds) or as an age before `now` ("30m", "2h", "1d", "45s").
std::optional<std::chrono::system_clock::time_point> ParseJournalTime(std::string_view text,
                                                                      std::chrono::system_clock::time_point now);

// "2026-12-08T21:50:03.125Z velkorctl@bench /dev/ttyUSB0: jogSpeed 100 -> 200, confirmed, not saved",
// without a newline.
std::string JournalEntryText(const JournalEntry& entry);

}  // namespace velkor
