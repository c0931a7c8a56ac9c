// journal.h: appending to a journal file. Each entry is one write of one line
// to a file opened with O_APPEND, so that several programs appending at once
// never interleave within a line; after a torn last line the write starts
// with a newline of its own; a write that fails or falls short is
// reported to the caller, which tells the user. Depends on journal_entry.h
// and POSIX.
#pragma once

#include <optional>
#include <string>

#include "journal_entry.h"

namespace velkor {

class Journal {
 public:
  // `path` empty: nowhere to write, every append says so. `program` names
  // the program in the entries.
  Journal(std::string path, std::string program);

  // Fills the entry's time, program and host where empty and appends its
  // line, making the directory if need be. The error in words, or nothing.
  std::optional<std::string> Append(JournalEntry entry) const;

  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string program_;
  std::string host_;
};

// This machine's host name, "unknown" when it cannot be had.
std::string HostName();

}  // namespace velkor
