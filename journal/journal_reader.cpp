// journal_reader.cpp: the journal's lines parsed with QtCore's JSON.
#include "journal_reader.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

#include <cstdio>
#include <ctime>

#include "profile_apply_text.h"

namespace velkor {
namespace {

using Time = std::chrono::system_clock::time_point;

std::string Text(const QJsonObject& o, const char* key) { return o.value(QLatin1String(key)).toString().toStdString(); }

std::optional<bool> Bool(const QJsonObject& o, const char* key) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (!v.isBool()) return std::nullopt;
  return v.toBool();
}

std::optional<int32_t> Value(const QJsonObject& o, const char* key) {
  const QJsonValue v = o.value(QLatin1String(key));
  if (v.isBool()) return v.toBool() ? 1 : 0;
  if (!v.isDouble()) return std::nullopt;
  return static_cast<int32_t>(v.toDouble());
}

// The entry a line holds; nothing when it is not one (torn, garbled, another format).
std::optional<JournalEntry> ParseLine(std::string_view line) {
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(line.data(), static_cast<qsizetype>(line.size())));
  if (!doc.isObject()) return std::nullopt;
  const QJsonObject o = doc.object();
  const auto kind = JournalKindByName(Text(o, "kind"));
  if (!kind || !o.value(QLatin1String("time")).isString()) return std::nullopt;
  JournalEntry e;
  e.kind = *kind;
  e.time = Text(o, "time");
  e.program = Text(o, "program");
  e.host = Text(o, "host");
  e.client = Text(o, "client");
  e.driver = Text(o, "driver");
  e.port = Text(o, "port");
  e.identity = Text(o, "identity");
  if (const std::string name = Text(o, "parameter"); !name.empty()) {
    e.parameter = ParameterByName(name);
    if (!e.parameter) return std::nullopt;
  }
  e.oldValue = Value(o, "old");
  e.newValue = Value(o, "new");
  e.reported = Value(o, "reported");
  e.confirmed = Bool(o, "confirmed");
  e.saved = Bool(o, "saved");
  e.profile = Text(o, "profile");
  e.message = Text(o, "message");
  return e;
}

bool Chosen(const JournalEntry& e, const JournalFilter& filter) {
  if (!filter.driver.empty() && e.driver != filter.driver && e.port != filter.driver &&
      e.identity != filter.driver) {
    return false;
  }
  if (filter.since) {
    const auto at = ParseJournalTime(e.time, Time{});
    if (!at || *at < *filter.since) return false;
  }
  return true;
}

std::optional<Time> ParseAge(std::string_view text, Time now) {
  if (text.size() < 2) return std::nullopt;
  long long count = 0;
  for (const char c : text.substr(0, text.size() - 1)) {
    if (c < '0' || c > '9' || count > 1000000) return std::nullopt;
    count = count * 10 + (c - '0');
  }
  switch (text.back()) {
    case 's': return now - std::chrono::seconds(count);
    case 'm': return now - std::chrono::minutes(count);
    case 'h': return now - std::chrono::hours(count);
    case 'd': return now - std::chrono::hours(24 * count);
    default: return std::nullopt;
  }
}

std::string ValueText(const std::optional<ParameterId>& id, const std::optional<int32_t>& value) {
  if (!value) return "unknown";
  return id ? ProfileValueText(*id, *value, Language::English) : std::to_string(*value);
}

}  // namespace

JournalRead ReadJournalText(std::string_view text, const JournalFilter& filter) {
  JournalRead read;
  size_t number = 0;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (line.empty()) continue;
    const auto entry = ParseLine(line);
    if (!entry) {
      read.skipped.push_back(number);
      continue;
    }
    if (Chosen(*entry, filter)) read.lines.push_back({*entry, std::string(line)});
  }
  return read;
}

std::optional<Time> ParseJournalTime(std::string_view text, Time now) {
  if (auto age = ParseAge(text, now)) return age;
  std::tm tm{};
  int milliseconds = 0;
  const std::string s(text);
  int used = 0;
  const int fields = std::sscanf(s.c_str(), "%4d-%2d-%2d%n", &tm.tm_year, &tm.tm_mon, &tm.tm_mday, &used);
  if (fields != 3 || used != 10) return std::nullopt;
  size_t at = 10;
  if (at < s.size() && (s[at] == 'T' || s[at] == ' ')) {
    int n = 0;
    if (std::sscanf(s.c_str() + at + 1, "%2d:%2d%n", &tm.tm_hour, &tm.tm_min, &n) != 2 || n != 5) return std::nullopt;
    at += 1 + n;
    if (at < s.size() && s[at] == ':') {
      if (std::sscanf(s.c_str() + at + 1, "%2d%n", &tm.tm_sec, &n) != 1 || n != 2) return std::nullopt;
      at += 1 + n;
      if (at < s.size() && s[at] == '.') {
        if (std::sscanf(s.c_str() + at + 1, "%3d%n", &milliseconds, &n) != 1 || n != 3) return std::nullopt;
        at += 1 + n;
      }
    }
  }
  if (at < s.size() && s[at] == 'Z') ++at;
  if (at != s.size()) return std::nullopt;
  if (tm.tm_mon < 1 || tm.tm_mon > 12 || tm.tm_mday < 1 || tm.tm_mday > 31 || tm.tm_hour > 23 || tm.tm_min > 59 ||
      tm.tm_sec > 60) {
    return std::nullopt;
  }
  tm.tm_year -= 1900;
  tm.tm_mon -= 1;
  return std::chrono::system_clock::from_time_t(timegm(&tm)) + std::chrono::milliseconds(milliseconds);
}

std::string JournalEntryText(const JournalEntry& e) {
  std::string text = e.time + " " + e.program + "@" + e.host;
  if (!e.client.empty()) text += " for " + e.client;
  text += " " + (e.driver.empty() ? e.port : e.driver + " (" + e.port + ")") + ": ";
  switch (e.kind) {
    case JournalKind::Change:
      text += e.parameter ? std::string(ParameterName(*e.parameter)) : std::string("?");
      text += " " + ValueText(e.parameter, e.oldValue) + " -> " + ValueText(e.parameter, e.newValue);
      if (!e.confirmed) text += ", not known whether it took";
      else if (*e.confirmed) text += ", confirmed";
      else text += ", not confirmed (reported " + ValueText(e.parameter, e.reported) + ")";
      break;
    case JournalKind::Save:
      text += "save to EEPROM";
      text += !e.confirmed ? ", not known whether it happened" : *e.confirmed ? ", acknowledged" : ", not acknowledged";
      break;
    case JournalKind::Profile:
      text += "profile " + (e.profile.empty() ? std::string("(unnamed)") : e.profile);
      text += !e.confirmed ? ", outcome unknown" : *e.confirmed ? ", every value confirmed" : ", not all confirmed";
      break;
  }
  if (e.kind != JournalKind::Save && e.saved) text += *e.saved ? ", saved" : ", not saved";
  if (!e.message.empty()) text += " (" + e.message + ")";
  return text;
}

}  // namespace velkor
