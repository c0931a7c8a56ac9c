// reading_file.h: the one CSV format of the driver's readings, for the chart's
// recordings and exports and for `velkorctl watch --csv`, written and read.
//
//   # velkor readings 2                      the format and its version
//   # program: velkor 1.0.0.1
//   # device: VK-3
//   # port: /dev/ttyUSB0
//   # driver: Соединено VK-3 ID-19.0         what the driver said of itself, or "unknown"
//   # recorded: 2026-12-08T22:00:00+01:00    when the first row's time is 0
//   # rows: every report                     or "every status report" (watch)
//   # reading_period_ms: 10                  how often the driver sends each reading
//   # parameter stepDivision: 8              each parameter at the start, or "unknown"
//   time_s,set_current_a_ma,...,phase,event
//   0.000,1000,0,...,0,
//   1.250,,,,,,,,,,,link_lost                 a marker row: no reading in it
//
// A reading not reported since the link started over is an empty field. The
// event column is empty in a reading's row; a marker's row has only its time
// and its event word (marker.h). Older files open too: the chart's first
// files (a comment header without a version, time_s and nine readings) and
// velkorctl's (no comments; readings by velkorctl name, first without a time
// column). Columns are found by name, in any order. Plain C++ on the link.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "link_controller.h"
#include "marker.h"
#include "sample.h"

namespace velkor::charts {

inline constexpr int READING_FILE_VERSION = 2;
inline constexpr std::string_view READING_FILE_MAGIC = "# velkor readings ";
inline constexpr std::string_view TIME_COLUMN = "time_s";
inline constexpr std::string_view EVENT_COLUMN = "event";
inline constexpr std::string_view ROWS_EVERY_REPORT = "every report";
inline constexpr std::string_view ROWS_EVERY_STATUS = "every status report";
inline constexpr int READING_PERIOD_MS = 10;

// The comment header and the column line, each line ending in '\n', for a
// recording that begins now on `link`. `recordedAt` is the wall-clock time of
// the first row, as it should read; `rows` one of ROWS_*.
std::string ReadingFileHeader(const Link& link, std::string_view recordedAt, std::string_view rows);

// One row, '\n' included, with the time since `originSeconds`. The caller
// keeps `out` between rows, so a row costs no allocation once it has grown.
// A gap sample writes nothing: its marker row says what happened.
void AppendSampleRow(std::string& out, const Sample& sample, double originSeconds);
void AppendMarkerRow(std::string& out, const Marker& marker, double originSeconds);

struct ReadingFile {
  int version = 0;  // READING_FILE_VERSION; 1 for the chart's first files, 0 for velkorctl's
  // Comment lines "# key: value", in order (the parameters as "parameter NAME").
  std::vector<std::pair<std::string, std::string>> header;
  // False for a file without a time column: each sample's time is then its
  // row's number (0, 1, 2...), not seconds.
  bool timed = true;
  // Which readings the file has columns for, a bit per LiveReading.
  uint16_t columns = 0;
  // The rows in order: a marker row is a marker, and a link_lost one a gap
  // sample too, so that no trace joins across it.
  std::vector<Sample> samples;
  std::vector<Marker> markers;
  // The last line was not a whole row, as a recording cut short by a crash or
  // a full disk leaves it, and was left out.
  bool lastRowTorn = false;
};

enum class ReadingFileErrorKind : uint8_t {
  CannotRead,       // number: errno
  NotARegularFile,  // a FIFO, a device, a socket, or over 512 MiB
  ReadShort,        // fewer bytes than its size said
  BadVersion,       // the version line's number is not one
  NewerVersion,     // number: the version found
  NoReadingColumn,  // the column line names no reading
  BadRow,           // a line before the last is not a row of the columns
  NoColumnLine,
};

// Why a file is not a readings file, as data: the words for it are the
// reader's language's (ReadingFileErrorText for the command line).
struct ReadingFileError {
  ReadingFileErrorKind kind = ReadingFileErrorKind::CannotRead;
  size_t line = 0;  // 1-based, for the kinds found on a line
  int number = 0;
};

// Whether the text is a readings file; `error` names the first line that is
// not, with its number.
bool ParseReadingFile(std::string_view text, ReadingFile& file, ReadingFileError& error);
// Reads and parses a file of at most 512 MiB; `error` says why not.
bool ReadReadingFile(const std::string& path, ReadingFile& file, ReadingFileError& error);
// In English: "line 22: not a row of the columns above".
std::string ReadingFileErrorText(const ReadingFileError& error);
// Local time with its offset from UTC, as the header's "recorded" line has it:
// "2026-12-08T22:00:00+01:00".
std::string LocalTimeText(std::time_t time);
// The header's value for `key`, empty when it has none.
std::string HeaderValue(const ReadingFile& file, std::string_view key);

}  // namespace velkor::charts
