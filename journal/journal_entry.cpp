// journal_entry.cpp: the journal line's JSON, written by hand so that the
// fields keep their order and a line is one write.
#include "journal_entry.h"

#include <ctime>

#include "json_string.h"

namespace velkor {
namespace {

constexpr std::string_view KIND_NAMES[] = {"change", "save", "profile"};

// Values are written as profile files write them: smoothing as true/false.
std::string ValueJson(std::optional<ParameterId> id, const std::optional<int32_t>& value) {
  if (!value) return "null";
  if (id == ParameterId::Smoothing) return *value != 0 ? "true" : "false";
  return std::to_string(*value);
}

std::string BoolJson(const std::optional<bool>& value) {
  if (!value) return "null";
  return *value ? "true" : "false";
}

std::string TextJson(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

}  // namespace

std::string_view JournalKindName(JournalKind kind) { return KIND_NAMES[static_cast<size_t>(kind)]; }

std::optional<JournalKind> JournalKindByName(std::string_view name) {
  for (size_t i = 0; i < std::size(KIND_NAMES); ++i) {
    if (KIND_NAMES[i] == name) return static_cast<JournalKind>(i);
  }
  return std::nullopt;
}

std::string JournalTime(std::chrono::system_clock::time_point time) {
  using namespace std::chrono;
  const auto ms = duration_cast<milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[40];
  const size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(text + n, sizeof text - n, ".%03dZ", static_cast<int>(ms % 1000));
  return text;
}

std::string JournalLine(const JournalEntry& e) {
  std::string line = "{\"time\":" + JsonString(e.time) + ",\"program\":" + JsonString(e.program) +
                     ",\"host\":" + JsonString(e.host) + ",\"client\":" + TextJson(e.client) +
                     ",\"driver\":" + TextJson(e.driver) + ",\"port\":" + JsonString(e.port) +
                     ",\"identity\":" + JsonString(e.identity) + ",\"kind\":" +
                     JsonString(JournalKindName(e.kind));
  line += ",\"parameter\":" + (e.parameter ? JsonString(ParameterName(*e.parameter)) : std::string("null"));
  line += ",\"old\":" + ValueJson(e.parameter, e.oldValue) + ",\"new\":" + ValueJson(e.parameter, e.newValue) +
          ",\"reported\":" + ValueJson(e.parameter, e.reported);
  line += ",\"confirmed\":" + BoolJson(e.confirmed) + ",\"saved\":" + BoolJson(e.saved);
  line += ",\"profile\":" + TextJson(e.profile) + ",\"message\":" + TextJson(e.message) + "}\n";
  return line;
}

}  // namespace velkor
