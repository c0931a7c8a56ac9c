// profile_file.cpp: profile files read with QtCore's JSON parser and written
// by hand, so the keys keep the panel's order rather than the parser's.
#include "profile_file.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <cctype>
#include <charconv>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <deque>
#include <unordered_set>
#include <vector>

#include "json_string.h"

namespace velkor {
namespace {

constexpr int MAX_LINK_HOPS = 40;  // as many as the kernel follows
constexpr int MAX_TEMPORARY_ATTEMPTS = 100;

ProfileError Problem(ProfileErrorKind kind, const std::string& file, std::string field = "", std::string detail = "") {
  ProfileError error;
  error.kind = kind;
  error.file = file;
  error.field = std::move(field);
  error.detail = std::move(detail);
  return error;
}

ProfileError SystemProblem(ProfileErrorKind kind, const std::string& file, int systemError) {
  ProfileError error = Problem(kind, file);
  error.systemError = systemError;
  return error;
}

// A value as it stands in the file, for a message about it.
std::string WrittenValue(const QJsonValue& value) {
  switch (value.type()) {
    case QJsonValue::Bool: return value.toBool() ? "true" : "false";
    case QJsonValue::Double: return QString::number(value.toDouble(), 'g', 16).toStdString();
    case QJsonValue::String: return JsonString(value.toString().toStdString());
    case QJsonValue::Array: return "[…]";
    case QJsonValue::Object: return "{…}";
    default: return "null";
  }
}

// Where in the text a byte offset lies: 1-based line, and column in characters.
void LineAndColumn(std::string_view text, size_t offset, int& line, int& column) {
  line = 1;
  column = 1;
  for (size_t i = 0; i < offset && i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte == '\n') {
      ++line;
      column = 1;
    } else if ((byte & 0xC0) != 0x80) {  // UTF-8 continuation bytes add no character
      ++column;
    }
  }
}

void AppendUtf8(std::string& text, char32_t code) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | (code >> 6));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | (code >> 12));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | (code >> 18));
    text += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    text += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// A key as the parser reads it, escapes decoded, so that "st\u0065ps" and
// "steps" are seen as one key. The text is valid JSON here: every escape is
// whole.
std::string DecodedKey(std::string_view raw) {
  std::string key;
  key.reserve(raw.size());
  const auto hex = [&](size_t at) {
    unsigned code = 0;
    std::from_chars(raw.data() + at, raw.data() + at + 4, code, 16);
    return static_cast<char32_t>(code);
  };
  for (size_t i = 0; i < raw.size(); ++i) {
    if (raw[i] != '\\') {
      key += raw[i];
      continue;
    }
    const char escaped = raw[++i];
    switch (escaped) {
      case 'b': key += '\b'; break;
      case 'f': key += '\f'; break;
      case 'n': key += '\n'; break;
      case 'r': key += '\r'; break;
      case 't': key += '\t'; break;
      case 'u': {
        char32_t code = hex(i + 1);
        i += 4;
        const bool high = code >= 0xD800 && code < 0xDC00;
        if (high && i + 6 < raw.size() && raw[i + 1] == '\\' && raw[i + 2] == 'u') {
          const char32_t low = hex(i + 3);
          if (low >= 0xDC00 && low < 0xE000) {
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
            i += 6;
          }
        }
        AppendUtf8(key, code);
        break;
      }
      default: key += escaped; break;  // \" \\ and \/
    }
  }
  return key;
}

}  // namespace

// Qt's parser keeps the last of two equal keys and says nothing of the
// first; a file edited by hand may well hold a forgotten copy of a line. The
// text is valid JSON here, so every string followed by a colon is a key, and
// each object's keys are kept apart from its neighbours'. One pass, each key
// looked up in its object's hash set: a large file takes no longer than its
// length. Returns the offset of the second key.
std::optional<size_t> DuplicateKey(std::string_view text, std::string& key) {
  std::vector<std::unordered_set<std::string_view>> open;  // the keys of each open object or array
  std::deque<std::string> decoded;  // keys written with escapes; the others are seen in the text itself
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '{' || c == '[') {
      open.emplace_back();
    } else if ((c == '}' || c == ']') && !open.empty()) {
      open.pop_back();
    } else if (c == '"') {
      size_t end = i + 1;
      while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
      size_t next = end + 1;
      while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next]))) ++next;
      if (next < text.size() && text[next] == ':' && !open.empty()) {
        std::string_view name = text.substr(i + 1, end - i - 1);
        if (name.find('\\') != std::string_view::npos) name = decoded.emplace_back(DecodedKey(name));
        if (!open.back().insert(name).second) {
          key = name;
          return i;
        }
      }
      i = end;
    }
  }
  return std::nullopt;
}

namespace {

std::optional<ProfileError> CheckParameter(const QString& key, const QJsonValue& value, const std::string& file,
                                           Profile& profile) {
  const std::string name = key.toStdString();
  const auto id = ParameterByName(name);
  if (!id) return Problem(ProfileErrorKind::UnknownParameter, file, name);
  if (*id == ParameterId::Smoothing) {
    if (!value.isBool()) return Problem(ProfileErrorKind::NotTrueFalse, file, name, WrittenValue(value));
    profile.values[Index(*id)] = value.toBool() ? 1 : 0;
    return std::nullopt;
  }
  const double number = value.toDouble();
  if (!value.isDouble() || !std::isfinite(number) || number != std::floor(number)) {
    return Problem(ProfileErrorKind::NotWholeNumber, file, name, WrittenValue(value));
  }
  if (number < 0 || number > Info(*id).max) {
    return Problem(ProfileErrorKind::OutOfRange, file, name, WrittenValue(value));
  }
  if (!ParameterValueAccepted(*id, static_cast<int64_t>(number))) {
    return Problem(ProfileErrorKind::NotADivision, file, name, WrittenValue(value));
  }
  profile.values[Index(*id)] = static_cast<int32_t>(number);
  return std::nullopt;
}

// The optional text fields: absent is fine, anything but a string is not.
std::optional<ProfileError> TakeText(const QJsonObject& root, const char* field, const std::string& file,
                                     std::string& into) {
  const QJsonValue value = root.value(QLatin1String(field));
  if (value.isUndefined()) return std::nullopt;
  if (!value.isString()) return Problem(ProfileErrorKind::BadField, file, field);
  into = value.toString().toStdString();
  return std::nullopt;
}

// Closes a descriptor however the function that opened it ends.
struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

// A FIFO without a writer or a terminal would block an open or a read without
// end, and opening a device may act on it (a serial port raises its control
// lines): only a regular file is opened, and without waiting, in case the
// name was changed to something else in between.
std::optional<ProfileError> ReadRegularFile(const std::string& path, std::string& text) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) return SystemProblem(ProfileErrorKind::CannotRead, path, errno);
  if (S_ISDIR(status.st_mode)) return SystemProblem(ProfileErrorKind::CannotRead, path, EISDIR);
  if (!S_ISREG(status.st_mode)) return Problem(ProfileErrorKind::NotARegularFile, path);
  Descriptor file{open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
  if (file.fd < 0) return SystemProblem(ProfileErrorKind::CannotRead, path, errno);
  if (fstat(file.fd, &status) != 0) return SystemProblem(ProfileErrorKind::CannotRead, path, errno);
  if (!S_ISREG(status.st_mode)) return Problem(ProfileErrorKind::NotARegularFile, path);
  text.assign(MAX_PROFILE_BYTES + 1, '\0');
  size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = read(file.fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return SystemProblem(ProfileErrorKind::CannotRead, path, errno);
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  text.resize(done);
  return std::nullopt;
}

namespace {

// The file a save replaces: the target of a symbolic link, followed link by
// link, so that the link stays a link and points at the new text.
std::string SaveTarget(const std::string& path) {
  std::string target = path;
  for (int hops = 0; hops < MAX_LINK_HOPS; ++hops) {
    char buffer[PATH_MAX];
    const ssize_t n = readlink(target.c_str(), buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) == sizeof buffer) break;  // not a link
    std::string next(buffer, static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    if (next.front() != '/' && slash != std::string::npos) next = target.substr(0, slash + 1) + next;
    target = std::move(next);
  }
  return target;
}

// A new file beside the target, created with 0666 so that the umask decides
// its mode as it would for any new file.
int CreateTemporary(const std::string& target, std::string& name) {
  for (int attempt = 0; attempt < MAX_TEMPORARY_ATTEMPTS; ++attempt) {
    name = target + ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(attempt);
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::optional<ProfileError> ParseProfile(std::string_view text, const std::string& file, Profile& profile) {
  if (text.size() > MAX_PROFILE_BYTES) return Problem(ProfileErrorKind::TooLarge, file);
  QJsonParseError parse{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &parse);
  if (parse.error != QJsonParseError::NoError) {
    ProfileError error{ProfileErrorKind::BrokenJson, file, "", parse.errorString().toStdString()};
    LineAndColumn(text, static_cast<size_t>(parse.offset), error.line, error.column);
    return error;
  }
  std::string twice;
  if (const auto offset = DuplicateKey(text, twice)) {
    ProfileError error = Problem(ProfileErrorKind::DuplicateKey, file, twice);
    LineAndColumn(text, *offset, error.line, error.column);
    return error;
  }
  if (!document.isObject()) return Problem(ProfileErrorKind::NotAProfile, file);
  const QJsonObject root = document.object();

  const QJsonValue format = root.value(QLatin1String("format"));
  if (format.toString().toStdString() != PROFILE_FORMAT) {
    return Problem(ProfileErrorKind::NotAProfile, file, "", format.isString() ? format.toString().toStdString() : "");
  }
  const QJsonValue version = root.value(QLatin1String("version"));
  if (version.isUndefined()) return Problem(ProfileErrorKind::MissingField, file, "version");
  if (!version.isDouble() || version.toDouble() != std::floor(version.toDouble()) || version.toDouble() < 1) {
    return Problem(ProfileErrorKind::BadField, file, "version");
  }
  if (version.toDouble() > PROFILE_VERSION) {
    return Problem(ProfileErrorKind::NewerVersion, file, "version", WrittenValue(version));
  }
  const QJsonValue device = root.value(QLatin1String("device"));
  if (device.isUndefined()) return Problem(ProfileErrorKind::MissingField, file, "device");
  if (!device.isString()) return Problem(ProfileErrorKind::BadField, file, "device");
  if (device.toString().toStdString() != PROFILE_DEVICE) {
    return Problem(ProfileErrorKind::OtherDevice, file, "device", device.toString().toStdString());
  }

  Profile read;
  if (auto error = TakeText(root, "savedAt", file, read.savedAt)) return error;
  if (auto error = TakeText(root, "note", file, read.note)) return error;
  const QJsonValue parameters = root.value(QLatin1String("parameters"));
  if (parameters.isUndefined()) return Problem(ProfileErrorKind::MissingField, file, "parameters");
  if (!parameters.isObject()) return Problem(ProfileErrorKind::BadField, file, "parameters");
  const QJsonObject values = parameters.toObject();
  for (auto it = values.begin(); it != values.end(); ++it) {
    if (auto error = CheckParameter(it.key(), it.value(), file, read)) return error;
  }
  profile = std::move(read);
  return std::nullopt;
}

std::optional<ProfileError> ReadProfile(const std::string& path, Profile& profile) {
  std::string text;
  if (auto error = ReadRegularFile(path, text)) return error;
  return ParseProfile(text, path, profile);
}

std::string ProfileText(const Profile& profile) {
  std::string text = "{\n";
  text += "  \"format\": " + JsonString(PROFILE_FORMAT) + ",\n";
  text += "  \"version\": " + std::to_string(PROFILE_VERSION) + ",\n";
  text += "  \"device\": " + JsonString(PROFILE_DEVICE) + ",\n";
  if (!profile.savedAt.empty()) text += "  \"savedAt\": " + JsonString(profile.savedAt) + ",\n";
  if (!profile.note.empty()) text += "  \"note\": " + JsonString(profile.note) + ",\n";
  std::string lines;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const auto& value = profile.values[i];
    if (!value) continue;
    const auto id = static_cast<ParameterId>(i);
    const std::string shown = id == ParameterId::Smoothing ? (*value != 0 ? "true" : "false") : std::to_string(*value);
    lines += (lines.empty() ? "" : ",\n") + std::string("    ") + JsonString(ParameterName(id)) + ": " + shown;
  }
  text += lines.empty() ? "  \"parameters\": {}\n" : "  \"parameters\": {\n" + lines + "\n  }\n";
  return text + "}\n";
}

// Into a temporary file beside the target, then renamed over it: a full disk
// or a crash leaves the old profile as it was. The new file takes the old
// one's mode; a file saved for the first time gets the umask's.
std::optional<ProfileError> WriteProfile(const Profile& profile, const std::string& path) {
  const auto failed = [&](int error) { return SystemProblem(ProfileErrorKind::CannotWrite, path, error); };
  const std::string text = ProfileText(profile);
  const std::string target = SaveTarget(path);
  struct stat old {};
  const bool replacing = stat(target.c_str(), &old) == 0;
  if (!replacing && errno != ENOENT) return failed(errno);
  if (replacing && S_ISDIR(old.st_mode)) return failed(EISDIR);
  if (replacing && !S_ISREG(old.st_mode)) return Problem(ProfileErrorKind::NotARegularFile, path);
  std::string temporary;
  const int fd = CreateTemporary(target, temporary);
  if (fd < 0) return failed(errno);
  int error = !replacing || fchmod(fd, old.st_mode & 07777) == 0 ? 0 : errno;
  for (size_t done = 0; error == 0 && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    return failed(error);
  }
  return std::nullopt;
}

}  // namespace velkor
