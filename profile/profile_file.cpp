// profile_file.cpp: profile files read with QtCore's JSON parser and written
// by hand, so the keys keep the panel's order rather than the parser's.
#include "profile_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "json_string.h"

namespace velkor {
namespace {

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

// Qt's parser keeps the last of two equal keys and says nothing of the
// first; a file edited by hand may well hold a forgotten copy of a line. The
// text is valid JSON here, so every string followed by a colon is a key, and
// each object's keys are kept apart from its neighbours'. Returns the offset
// of the second key.
std::optional<size_t> DuplicateKey(std::string_view text, std::string& key) {
  std::vector<std::vector<std::string_view>> open;  // the keys of each open object or array
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '{' || c == '[') {
      open.emplace_back();
    } else if ((c == '}' || c == ']') && !open.empty()) {
      open.pop_back();
    } else if (c == '"') {
      size_t end = i + 1;
      while (end < text.size() && text[end] != '"') end += text[end] == '\\' ? 2 : 1;
      const std::string_view name = text.substr(i + 1, end - i - 1);
      size_t next = end + 1;
      while (next < text.size() && std::isspace(static_cast<unsigned char>(text[next]))) ++next;
      if (next < text.size() && text[next] == ':' && !open.empty()) {
        std::vector<std::string_view>& seen = open.back();
        if (std::find(seen.begin(), seen.end(), name) != seen.end()) {
          key = name;
          return i;
        }
        seen.push_back(name);
      }
      i = end;
    }
  }
  return std::nullopt;
}

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

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

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
  const std::unique_ptr<std::FILE, FileCloser> f(std::fopen(path.c_str(), "rb"));
  if (!f) return SystemProblem(ProfileErrorKind::CannotRead, path, errno);
  std::string text(MAX_PROFILE_BYTES + 1, '\0');
  const size_t count = std::fread(text.data(), 1, text.size(), f.get());
  if (std::ferror(f.get())) return SystemProblem(ProfileErrorKind::CannotRead, path, errno);
  text.resize(count);
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
// or a crash leaves the old profile as it was.
std::optional<ProfileError> WriteProfile(const Profile& profile, const std::string& path) {
  const auto failed = [&](int error) { return SystemProblem(ProfileErrorKind::CannotWrite, path, error); };
  const std::string text = ProfileText(profile);
  std::string temporary = path + ".XXXXXX";
  const int fd = mkstemp(temporary.data());
  if (fd < 0) return failed(errno);
  int error = fchmod(fd, 0644) == 0 ? 0 : errno;
  for (size_t done = 0; error == 0 && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno != EINTR) error = errno;
    if (n > 0) done += static_cast<size_t>(n);
  }
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    return failed(error);
  }
  return std::nullopt;
}

}  // namespace velkor
