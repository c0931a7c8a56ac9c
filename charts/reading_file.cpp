// reading_file.cpp: the header, the rows, and reading any of the layouts back.
// Numbers go through std::to_chars and std::from_chars, so that no locale
// ever turns a decimal point into a comma.
#include "reading_file.h"

#include <charconv>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "driver_identity.h"
#include "parameter_state.h"
#include "status_texts.h"
#include "version.h"

namespace velkor::charts {

namespace {

constexpr size_t MAX_FILE_BYTES = size_t{512} << 20;

template <typename Number, typename... Format>
void AppendNumber(std::string& out, Number number, Format... format) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, number, format...);
  out.append(buffer, result.ptr);
}

void AppendComment(std::string& out, std::string_view key, std::string_view value) {
  out += "# ";
  out += key;
  out += ": ";
  out += value;
  out += '\n';
}

void AppendTime(std::string& out, double seconds, double originSeconds) {
  AppendNumber(out, seconds - originSeconds, std::chars_format::fixed, 3);
}

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  size_t start = 0;
  for (size_t comma; (comma = line.find(',', start)) != std::string_view::npos; start = comma + 1)
    fields.push_back(line.substr(start, comma - start));
  fields.push_back(line.substr(start));
  return fields;
}

template <typename Number>
std::optional<Number> NumberOf(std::string_view field) {
  Number number{};
  const auto [end, error] = std::from_chars(field.data(), field.data() + field.size(), number);
  if (error != std::errc() || end != field.data() + field.size()) return std::nullopt;
  return number;
}

// The reading a column holds: by its CSV name, or its velkorctl name.
std::optional<LiveReading> ReadingOfColumn(std::string_view column) {
  for (const LiveReadingInfo& info : LIVE_READINGS)
    if (column == info.column || column == info.name) return info.reading;
  return std::nullopt;
}

std::optional<Marker> MarkerOf(std::string_view word, double seconds) {
  for (MarkerKind kind : {MarkerKind::Connected, MarkerKind::LinkLost, MarkerKind::Saved})
    if (word == EventWord({seconds, kind, {}})) return Marker{seconds, kind, {}};
  const size_t equals = word.find('=');
  if (equals == std::string_view::npos || !ParameterByName(word.substr(0, equals))) return std::nullopt;
  return Marker{seconds, MarkerKind::Parameter, std::string(word)};
}

// What each column of a file holds.
struct Layout {
  std::optional<size_t> time, event;
  std::vector<std::optional<LiveReading>> readings;  // by column
};

bool ParseColumns(std::string_view line, Layout& layout, ReadingFile& file) {
  const std::vector<std::string_view> names = Fields(line);
  layout.readings.assign(names.size(), std::nullopt);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == TIME_COLUMN) {
      layout.time = i;
    } else if (names[i] == EVENT_COLUMN) {
      layout.event = i;
    } else if (const auto reading = ReadingOfColumn(names[i])) {
      layout.readings[i] = reading;
      file.columns |= static_cast<uint16_t>(1u << Index(*reading));
    }
  }
  return file.columns != 0;
}

bool ParseRow(std::string_view line, const Layout& layout, size_t rowNumber, ReadingFile& file) {
  const std::vector<std::string_view> fields = Fields(line);
  if (fields.size() != layout.readings.size()) return false;
  double seconds = static_cast<double>(rowNumber);
  if (layout.time) {
    const auto time = NumberOf<double>(fields[*layout.time]);
    if (!time) return false;
    seconds = *time;
  }
  if (layout.event && !fields[*layout.event].empty()) {
    const auto marker = MarkerOf(fields[*layout.event], seconds);
    if (!marker) return false;
    if (marker->kind == MarkerKind::LinkLost) file.samples.push_back(GapAt(seconds));
    file.markers.push_back(*marker);
    return true;
  }
  Sample sample;
  sample.seconds = seconds;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (!layout.readings[i] || fields[i].empty()) continue;
    const auto value = NumberOf<int32_t>(fields[i]);
    if (!value) return false;
    sample.values[Index(*layout.readings[i])] = *value;
    sample.known |= static_cast<uint16_t>(1u << Index(*layout.readings[i]));
  }
  file.samples.push_back(sample);
  return true;
}

}  // namespace

std::string ReadingFileHeader(const Link& link, std::string_view recordedAt, std::string_view rows) {
  std::string out(READING_FILE_MAGIC);
  AppendNumber(out, READING_FILE_VERSION);
  out += '\n';
  AppendComment(out, "program", std::string("velkor ") + VERSION);
  AppendComment(out, "device", "VK-3");
  AppendComment(out, "port", link.values.portName);
  AppendComment(out, "driver", link.values.portName.empty() ? "unknown" : DriverIdentity(link.values.portName));
  AppendComment(out, "recorded", recordedAt);
  AppendComment(out, "rows", rows);
  AppendComment(out, "reading_period_ms", std::to_string(READING_PERIOD_MS));
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const ParameterState& state = link.parameters.parameters[i];
    AppendComment(out, "parameter " + std::string(ParameterName(static_cast<ParameterId>(i))),
                  state.known ? std::to_string(state.value) : "unknown");
  }
  out += TIME_COLUMN;
  for (const LiveReadingInfo& info : LIVE_READINGS) {
    out += ',';
    out += info.column;
  }
  out += ',';
  out += EVENT_COLUMN;
  out += '\n';
  return out;
}

void AppendSampleRow(std::string& out, const Sample& sample, double originSeconds) {
  if (sample.gap) return;
  AppendTime(out, sample.seconds, originSeconds);
  for (const LiveReadingInfo& info : LIVE_READINGS) {
    out += ',';
    if (sample.Known(info.reading)) AppendNumber(out, sample[info.reading]);
  }
  out += ",\n";  // no event
}

void AppendMarkerRow(std::string& out, const Marker& marker, double originSeconds) {
  AppendTime(out, marker.seconds, originSeconds);
  out.append(LIVE_READING_COUNT + 1, ',');
  out += EventWord(marker);
  out += '\n';
}

bool ParseReadingFile(std::string_view text, ReadingFile& file, ReadingFileError& error) {
  file = ReadingFile{};
  Layout layout;
  bool columnsSeen = false;
  size_t rowNumber = 0, lineNumber = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    const auto fail = [&](ReadingFileErrorKind kind, int number = 0) {
      error = {kind, lineNumber, number};
      return false;
    };
    if (line.front() == '#') {
      if (line.starts_with(READING_FILE_MAGIC)) {
        const auto version = NumberOf<int>(line.substr(READING_FILE_MAGIC.size()));
        if (!version || *version < 2) return fail(ReadingFileErrorKind::BadVersion);
        if (*version > READING_FILE_VERSION) return fail(ReadingFileErrorKind::NewerVersion, *version);
        file.version = *version;
        continue;
      }
      // The chart's first files had comments but no version line.
      if (file.version == 0) file.version = 1;
      const size_t colon = line.find(": ");
      if (colon != std::string_view::npos && colon > 2)
        file.header.emplace_back(line.substr(2, colon - 2), line.substr(colon + 2));
      continue;
    }
    if (!columnsSeen) {
      if (!ParseColumns(line, layout, file)) return fail(ReadingFileErrorKind::NoReadingColumn);
      columnsSeen = true;
      file.timed = layout.time.has_value();
      continue;
    }
    if (!ParseRow(line, layout, rowNumber, file)) {
      // Only the last line may be torn; one in the middle is a broken file.
      if (text.find_first_not_of("\r\n") != std::string_view::npos) return fail(ReadingFileErrorKind::BadRow);
      file.lastRowTorn = true;
      break;
    }
    ++rowNumber;
  }
  if (!columnsSeen) {
    error = {ReadingFileErrorKind::NoColumnLine, 0, 0};
    return false;
  }
  return true;
}

bool ReadReadingFile(const std::string& path, ReadingFile& file, ReadingFileError& error) {
  // Not blocking on a FIFO, and only a regular file is read.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error = {ReadingFileErrorKind::CannotRead, 0, errno};
    return false;
  }
  struct stat status {};
  std::string text;
  bool ok = fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && static_cast<size_t>(status.st_size) <= MAX_FILE_BYTES;
  if (!ok) error = {ReadingFileErrorKind::NotARegularFile, 0, 0};
  if (ok) {
    text.resize(static_cast<size_t>(status.st_size));
    size_t got = 0;
    while (got < text.size()) {
      const ssize_t n = read(fd, text.data() + got, text.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (got < text.size()) {
      error = {ReadingFileErrorKind::ReadShort, 0, 0};
      ok = false;
    }
  }
  close(fd);
  return ok && ParseReadingFile(text, file, error);
}

std::string ReadingFileErrorText(const ReadingFileError& error) {
  const std::string line = "line " + std::to_string(error.line) + ": ";
  switch (error.kind) {
    case ReadingFileErrorKind::CannotRead: return std::strerror(error.number);
    case ReadingFileErrorKind::NotARegularFile: return "not a regular file of at most 512 MiB";
    case ReadingFileErrorKind::ReadShort: return "the file could not be read whole";
    case ReadingFileErrorKind::BadVersion: return line + "not a version of the readings format";
    case ReadingFileErrorKind::NewerVersion:
      return line + "written by a newer program (format " + std::to_string(error.number) + ")";
    case ReadingFileErrorKind::NoReadingColumn: return line + "no column of a reading";
    case ReadingFileErrorKind::BadRow: return line + "not a row of the columns above";
    case ReadingFileErrorKind::NoColumnLine: return "no column line";
  }
  return {};
}

std::string LocalTimeText(std::time_t time) {
  std::tm local{};
  localtime_r(&time, &local);
  char text[40];
  const size_t size = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local);
  std::string out(text, size);
  if (out.size() >= 5) out.insert(out.size() - 2, ":");  // +0100 → +01:00
  return out;
}

std::string HeaderValue(const ReadingFile& file, std::string_view key) {
  for (const auto& [name, value] : file.header)
    if (name == key) return value;
  return {};
}

}  // namespace velkor::charts
