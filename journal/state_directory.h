// state_directory.h: where the panel and velkorctl keep what they record for
// the user: $XDG_STATE_HOME/velkor, else ~/.local/state/velkor; and making a
// directory with its parents. Plain C++ on POSIX.
#pragma once

#include <optional>
#include <string>

namespace velkor {

// The directory (not made); empty when neither $XDG_STATE_HOME nor $HOME is set.
std::string StateDirectory();
// The panel's and velkorctl's journal: <state directory>/journal.jsonl.
std::string UserJournalPath();

// Makes `path` and its missing parents (mode 0700); the error in words, or nothing.
std::optional<std::string> MakeDirectories(const std::string& path);

}  // namespace velkor
