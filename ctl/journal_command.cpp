// journal_command.cpp: reading the journal file, untrusted: opened without
// blocking on a FIFO, regular files only.
#include "journal_command.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

#include "journal_reader.h"
#include "state_directory.h"
#include "terminal_text.h"

namespace velkor::ctl {
namespace {

// The file's text; false with the reason in `error` (ENOENT: no journal yet).
bool ReadFile(const std::string& path, std::string& text, std::string& error, int& err) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  struct stat st{};
  err = fd < 0 ? errno : ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  while (err == 0) {
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) err = errno;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  if (fd >= 0) ::close(fd);
  if (err != 0) error = err == EINVAL ? path + " is not a regular file" : path + ": " + std::strerror(err);
  return err == 0;
}

}  // namespace

int RunJournal(const Invocation& inv, std::FILE* out, std::FILE* messages) {
  const std::string path = inv.file.empty() ? UserJournalPath() : inv.file;
  if (path.empty()) {
    std::fprintf(messages, "velkorctl: no journal: neither XDG_STATE_HOME nor HOME is set\n");
    return EXIT_FAILED;
  }
  std::string text, error;
  int err = 0;
  if (!ReadFile(path, text, error, err)) {
    // A journal named on the command line that is not there is a mistake, not an empty journal.
    if (err == ENOENT && inv.file.empty()) {
      std::fprintf(messages, "velkorctl: nothing recorded yet (%s)\n", EscapeControls(path).c_str());
      return EXIT_DONE;
    }
    std::fprintf(messages, "velkorctl: cannot read the journal %s\n", EscapeControls(error).c_str());
    return EXIT_FAILED;
  }
  JournalFilter filter;
  filter.driver = inv.driver;
  if (!inv.since.empty()) filter.since = ParseJournalTime(inv.since, std::chrono::system_clock::now());
  const JournalRead read = ReadJournalText(text, filter);
  for (const size_t line : read.skipped) {
    std::fprintf(messages, "velkorctl: line %zu of %s is not a journal entry (torn or damaged); skipped\n", line,
                 EscapeControls(path).c_str());
  }
  for (const JournalLineRead& line : read.lines) {
    const std::string shown = inv.json ? line.line + "\n" : EscapeControls(JournalEntryText(line.entry)) + "\n";
    std::fwrite(shown.data(), 1, shown.size(), out);
  }
  if (std::fflush(out) != 0 || std::ferror(out)) {
    std::fprintf(messages, "velkorctl: cannot write the journal's entries: %s\n", std::strerror(errno));
    return EXIT_FAILED;
  }
  return EXIT_DONE;
}

}  // namespace velkor::ctl
