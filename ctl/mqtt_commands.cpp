// mqtt_commands.cpp: each command as a request and its reply, or as the
// readings topic printed line by line.
#include "mqtt_commands.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <ctime>
#include <random>

#include "codes.h"
#include "fleet_command.h"
#include "interruption.h"
#include "journal.h"
#include "json_string.h"
#include "live_readings.h"
#include "mqtt_client.h"
#include "mqtt_settings.h"
#include "profile_apply_text.h"
#include "profile_error.h"
#include "profile_file.h"
#include "reading_file.h"
#include "readings.h"
#include "session.h"
#include "terminal_text.h"

namespace velkor::ctl {
namespace {

using MqttClock = MqttClient::Clock;

struct Context {
  const Invocation& inv;
  MqttAddress address;
  std::FILE* out;
  std::FILE* messages;
  MqttClient& client;
  std::string root;  // velkor/v1/SITE/HOST/DRIVER
  std::string hostStatus;  // what velkord's host status topic holds; empty: nothing retained
  bool driverKnown = false;  // the driver's info topic is retained

  void Say(const std::string& text) const {
    std::fprintf(messages, "velkorctl: %s\n", EscapeControls(text).c_str());
  }
};

std::string HostStatusTopic(const MqttAddress& a) { return "velkor/v1/" + a.site + "/" + a.host + "/status"; }
std::string PresenceTopic(const std::string& client) { return "velkor/v1/clients/" + client; }

// "velkorctl-<host>-<pid>": one topic level, no wildcards.
std::string ClientId() {
  std::string id = "velkorctl-";
  for (const char c : HostName()) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
    id += ok ? c : '_';
  }
  return id + "-" + std::to_string(::getpid());
}

std::string Correlation() {
  std::random_device random;
  char text[17];
  std::snprintf(text, sizeof text, "%08x%08x", random(), random());
  return text;
}

bool IsMotion(const Invocation& inv) {
  return inv.command == Command::Rotate ||
         (inv.command == Command::Action &&
          (inv.action == ACT_STEP_LEFT || inv.action == ACT_STEP_RIGHT || inv.action == ACT_TEST));
}

std::string ActionName(uint16_t code) {
  if (code == ACT_ROTATE_LEFT) return "rotate-left";
  if (code == ACT_ROTATE_RIGHT) return "rotate-right";
  for (const char* name : {"reread", "save", "autotune", "smoothing", "test", "step-left", "step-right", "zero", "stop"}) {
    if (ActionByName(name) == code) return name;
  }
  return {};
}

bool Write(std::FILE* out, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), out) == text.size() && std::fflush(out) == 0;
}

// velkord's words, each line said as velkorctl's own.
void SayMessage(const Context& c, const std::string& message) {
  size_t from = 0;
  while (from < message.size()) {
    size_t end = message.find('\n', from);
    if (end == std::string::npos) end = message.size();
    std::string line = message.substr(from, end - from);
    for (const std::string_view speaker : {"velkord: ", "velkorctl: "}) {
      if (line.starts_with(speaker)) line.erase(0, speaker.size());
    }
    if (!line.empty()) c.Say(line);
    from = end + 1;
  }
}

// A parameter's value as the reply gives it: a number, smoothing true/false.
std::optional<int32_t> JsonParameter(const QJsonValue& v) {
  if (v.isBool()) return v.toBool() ? 1 : 0;
  if (v.isDouble() && v.toDouble() == std::floor(v.toDouble()) && std::fabs(v.toDouble()) < 1e9)
    return static_cast<int32_t>(v.toDouble());
  return std::nullopt;
}

std::string NumberText(double value) {
  char text[32];
  return std::string(text, std::to_chars(text, text + sizeof text, value).ptr);
}

// Why no reply came, from what the broker holds of velkord and the driver.
std::string NoReply(const Context& c, std::chrono::milliseconds waited) {
  const std::string where = c.address.site + "/" + c.address.host + "/" + c.address.driver;
  if (c.hostStatus == "offline") return "velkord on " + c.address.host + " is offline (its status topic says so)";
  if (!c.driverKnown) return "the broker knows no driver " + where + " (nothing retained under " + c.root + ")";
  return "no reply from velkord for " + where + " within " + Seconds(waited);
}

// Sends `command` (`payload`, a JSON object) and waits for its reply; nothing after saying why.
std::optional<QJsonObject> Request(Context& c, const std::string& command, const std::string& payload,
                                   std::chrono::milliseconds bound) {
  const std::string responseTopic = PresenceTopic(c.client.ClientId()) + "/reply";
  const std::string correlation = Correlation();
  std::optional<std::string> reply;
  c.client.onMessage = [&](const MqttMessage& m) {
    if (m.topic == HostStatusTopic(c.address)) c.hostStatus = m.payload;
    else if (m.topic == c.root + "/info") c.driverKnown = !m.payload.empty();
    else if (m.topic == responseTopic && m.correlation == correlation) reply = m.payload;
  };
  const auto deadline = MqttClock::now() + c.inv.timeout;
  // Every command names its asker and how long the asker waits: velkord
  // starts none whose asker has given up, and the broker drops it once expired.
  const std::string fields = "\"client\":" + JsonString(c.client.ClientId()) +
                             ",\"timeout_s\":" + NumberText(bound.count() / 1000.0);
  const std::string body = payload.substr(0, payload.size() - 1) + (payload.size() > 2 ? "," : "") + fields + "}";
  const auto expiry = static_cast<uint32_t>((bound.count() + 999) / 1000);
  if (!c.client.Subscribe({responseTopic, HostStatusTopic(c.address), c.root + "/info"}, deadline) ||
      !c.client.Publish(c.root + "/command/" + command, body, false, responseTopic, correlation, expiry)) {
    c.Say(c.client.Error());
    return std::nullopt;
  }
  const MqttWait end = c.client.RunUntil(MqttClock::now() + bound, [&] { return reply || !c.client.Error().empty(); });
  if (end == MqttWait::Interrupted) c.Say("interrupted");
  else if (end == MqttWait::TimedOut) c.Say(NoReply(c, bound));
  else if (!reply) c.Say(c.client.Error());
  if (!reply) return std::nullopt;
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(*reply));
  const QJsonValue exit = doc.object().value("exit");
  if (!doc.isObject() || !exit.isDouble() || exit.toInt(-1) < EXIT_DONE || exit.toInt(-1) > EXIT_FAILED) {
    c.Say("the reply on " + responseTopic + " is not velkord's: " + EscapeControls(reply->substr(0, 200)));
    return std::nullopt;
  }
  return doc.object();
}

// A reply's exit status, after saying its message.
int Finish(const Context& c, const QJsonObject& reply) {
  SayMessage(c, reply.value("message").toString().toStdString());
  return reply.value("exit").toInt();
}

// The driver's parameters from the show reply; nothing when one is not a value.
std::optional<std::array<int32_t, PARAMETER_STATE_COUNT>> ShownParameters(const QJsonObject& show) {
  std::array<int32_t, PARAMETER_STATE_COUNT> values{};
  const QJsonObject parameters = show.value("parameters").toObject();
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const auto value = JsonParameter(parameters.value(QString::fromUtf8(ParameterName(static_cast<ParameterId>(i)))));
    if (!value) return std::nullopt;
    values[i] = *value;
  }
  return values;
}

std::string ReadingValue(const QJsonValue& v, const char* unknown) {
  return v.isDouble() ? NumberText(v.toDouble()) : std::string(unknown);
}

// What velkorctl show prints, from the object velkorctl show --json printed
// on velkord's side, in the same order.
std::string ShowOutput(const QJsonObject& show, const std::array<int32_t, PARAMETER_STATE_COUNT>& values, bool json) {
  const QJsonObject readings = show.value("readings").toObject();
  const std::string port = show.value("port").toString().toStdString();
  const std::string state = show.value("state").toString().toStdString();
  const std::string status = show.value("status").toString().toStdString();
  std::string text;
  if (json) {
    text = "{\"port\":" + JsonString(port) + ",\"state\":" + JsonString(state) + ",\"status\":" + JsonString(status) +
           ",\"parameters\":{";
  } else {
    text = "port=" + port + "\nstate=" + state + "\nstatus=" + status + "\n";
  }
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const auto id = static_cast<ParameterId>(i);
    const std::string name(ParameterName(id));
    if (json) {
      const std::string value = id == ParameterId::Smoothing ? (values[i] ? "true" : "false") : std::to_string(values[i]);
      text += (i ? "," : "") + JsonString(name) + ":" + value;
    } else {
      text += name + "=" + ParameterText(id, values[i]) + "\n";
    }
  }
  if (json) text += "},\"readings\":{";
  bool first = true;
  for (const LiveReadingInfo& r : LIVE_READINGS) {
    const QJsonValue v = readings.value(QString::fromUtf8(r.name));
    if (json) text += (first ? "" : ",") + JsonString(r.name) + ":" + ReadingValue(v, "null");
    else text += std::string(r.name) + "=" + ReadingValue(v, "unknown") + "\n";
    first = false;
  }
  return json ? text + "}}\n" : text;
}

int Show(Context& c, const Profile& profile) {
  const auto reply = Request(c, "show", "{}", c.inv.timeout);
  if (!reply) return EXIT_FAILED;
  const QJsonObject show = reply->value("show").toObject();
  const auto values = ShownParameters(show);
  if (reply->value("exit").toInt() != EXIT_DONE || !values) {
    if (!values && reply->value("exit").toInt() == EXIT_DONE) c.Say("the driver's parameters were not all reported");
    const int status = Finish(c, *reply);
    return status == EXIT_DONE ? EXIT_FAILED : status;
  }
  const Invocation& inv = c.inv;
  if (inv.command == Command::Show) {
    Write(c.out, ShowOutput(show, *values, inv.json));
    return Finish(c, *reply);
  }
  if (inv.command == Command::ProfileSave) {
    Profile saved;
    saved.savedAt = FormatSavedTime(std::chrono::system_clock::now());
    for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) saved.values[i] = (*values)[i];
    if (const auto error = WriteProfile(saved, inv.file)) {
      c.Say(ProfileErrorText(*error, Language::English));
      return EXIT_FAILED;
    }
    return EXIT_DONE;
  }
  // profile diff, as on a local port: the driver's value, the file's beside it where they differ.
  std::string text;
  size_t differing = 0;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const auto id = static_cast<ParameterId>(i);
    if (!profile.values[i]) continue;
    text += std::string(ParameterName(id)) + "=" + ProfileValueText(id, (*values)[i], Language::English);
    if (*profile.values[i] != (*values)[i]) {
      text += " (profile: " + ProfileValueText(id, *profile.values[i], Language::English) + ")";
      ++differing;
    }
    text += "\n";
  }
  Write(c.out, text);
  if (differing == 0) return EXIT_DONE;
  c.Say("the driver differs from " + inv.file + " in " + std::to_string(differing) +
        (differing == 1 ? " parameter" : " parameters"));
  return EXIT_DIFFERS;
}

// set and profile apply: each parameter as the driver reported it afterwards.
int Apply(Context& c, const Profile& profile) {
  const Invocation& inv = c.inv;
  const std::string save = inv.save ? "true" : "false";
  std::string payload;
  if (inv.command == Command::Set) {
    std::string values;
    for (const Assignment& a : inv.assignments) {
      const std::string value = a.id == ParameterId::Smoothing ? (a.value ? "true" : "false") : std::to_string(a.value);
      values += (values.empty() ? "" : ",") + JsonString(ParameterName(a.id)) + ":" + value;
    }
    payload = "{\"values\":{" + values + "},\"save\":" + save + "}";
  } else {
    payload = "{\"profile\":" + ProfileText(profile) + ",\"save\":" + save + "}";
  }
  const auto reply = Request(c, inv.command == Command::Set ? "set" : "profile", payload, inv.timeout);
  if (!reply) return EXIT_FAILED;
  std::string text;
  for (const QJsonValue row : reply->value("results").toArray()) {
    const QJsonObject r = row.toObject();
    const auto id = ParameterByName(r.value("name").toString().toStdString());
    const auto reported = JsonParameter(r.value("reported"));
    if (id && reported) text += std::string(ParameterName(*id)) + "=" + ProfileValueText(*id, *reported, Language::English) + "\n";
  }
  Write(c.out, text);
  return Finish(c, *reply);
}

int Act(Context& c) {
  const Invocation& inv = c.inv;
  std::string payload = "{\"action\":" + JsonString(ActionName(inv.action));
  if (inv.command == Command::Rotate) payload += ",\"duration_s\":" + NumberText(inv.duration.count() / 1000.0);
  const auto reply = Request(c, "action", payload + "}", inv.timeout + inv.duration);
  if (!reply) return EXIT_FAILED;
  const int status = Finish(c, *reply);
  // What a local port prints after these, from velkord's link once they have ended.
  std::vector<ParameterId> ids;
  if (inv.action == ACT_REREAD) {
    for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) ids.push_back(static_cast<ParameterId>(i));
  }
  if (inv.action == ACT_AUTOTUNE) ids = {ParameterId::ProportionalK, ParameterId::LevelingK};
  if (inv.action == ACT_TOGGLE_SMOOTHING) ids = {ParameterId::Smoothing};
  if (status != EXIT_DONE || ids.empty()) return status;
  const auto show = Request(c, "show", "{}", inv.timeout);
  const auto values = show ? ShownParameters(show->value("show").toObject()) : std::nullopt;
  if (!values) return EXIT_FAILED;
  std::string text;
  for (const ParameterId id : ids) text += std::string(ParameterName(id)) + "=" + ParameterText(id, (*values)[Index(id)]) + "\n";
  Write(c.out, text);
  return EXIT_DONE;
}

// One line per readings message, each reading the interval's mean.
int Watch(Context& c) {
  const Invocation& inv = c.inv;
  if (inv.format == WatchFormat::Csv) {
    Link remote;  // what the header tells of a driver seen only through its readings messages
    remote.values.portName = inv.port;
    Write(c.out, charts::ReadingFileHeader(remote, charts::LocalTimeText(std::time(nullptr)),
                                           "every readings message, each value the interval's mean"));
  }
  std::optional<MqttClock::time_point> firstRow;
  bool writeFailed = false;
  c.client.onMessage = [&](const MqttMessage& m) {
    if (m.topic != c.root + "/readings" || writeFailed) return;
    const QJsonObject readings =
        QJsonDocument::fromJson(QByteArray::fromStdString(m.payload)).object().value("readings").toObject();
    if (!firstRow) firstRow = MqttClock::now();
    const double seconds = std::chrono::duration<double>(MqttClock::now() - *firstRow).count();
    std::string line;
    if (inv.format == WatchFormat::Csv) {
      char time[32];
      line.assign(time, std::to_chars(time, time + sizeof time, seconds, std::chars_format::fixed, 3).ptr);
    }
    for (const LiveReadingInfo& r : LIVE_READINGS) {
      const QJsonValue mean = readings.value(QString::fromUtf8(r.name)).toObject().value("mean");
      const std::string value = mean.isDouble() ? std::to_string(std::lround(mean.toDouble())) : std::string();
      if (inv.format == WatchFormat::Text) line += (line.empty() ? "" : " ") + std::string(r.name) + "=" + (value.empty() ? "unknown" : value);
      else if (inv.format == WatchFormat::Csv) line += "," + value;
      else line += (line.empty() ? "{" : ",") + JsonString(r.name) + ":" + (value.empty() ? "null" : value);
    }
    if (inv.format == WatchFormat::Json) line += "}";
    if (inv.format == WatchFormat::Csv) line += ",";  // no event
    writeFailed = !Write(c.out, line + "\n");
  };
  if (!c.client.Subscribe({c.root + "/readings"}, MqttClock::now() + inv.timeout)) {
    c.Say(c.client.Error());
    return EXIT_FAILED;
  }
  const auto until = inv.duration.count() > 0 ? MqttClock::now() + inv.duration : MqttClock::time_point::max();
  const MqttWait end = c.client.RunUntil(until, [&] { return writeFailed; });
  if (end == MqttWait::Lost) {
    c.Say(c.client.Error());
    return EXIT_FAILED;
  }
  return EXIT_DONE;
}

}  // namespace

int RunMqttCommand(const Invocation& inv, std::FILE* out, std::FILE* messages) {
  std::string error;
  const auto address = ParseMqttAddress(inv.port, error);
  const auto credentials = address ? MqttCredentialsFor(inv.mqtt, error) : std::nullopt;
  Profile profile;
  if (credentials && (inv.command == Command::ProfileDiff || inv.command == Command::ProfileApply)) {
    if (const auto bad = ReadProfile(inv.file, profile)) error = ProfileErrorText(*bad, Language::English);
  }
  if (!error.empty()) {
    std::fprintf(messages, "velkorctl: %s\n", EscapeControls(error).c_str());
    return EXIT_USAGE;
  }
  MqttClient client(ClientId());
  Context c{inv, *address, out, messages, client, DriverRoot(*address), "", false};
  const bool motion = IsMotion(inv);
  const std::string presence = PresenceTopic(client.ClientId());
  std::optional<MqttWill> will;
  if (motion) will = MqttWill{presence, "offline"};
  if (!client.Connect(*address, *credentials, will, MqttClock::now() + inv.timeout)) {
    c.Say(client.Error());
    return EXIT_FAILED;
  }
  if (motion) client.Publish(presence, "online", true);
  int status = EXIT_FAILED;
  switch (inv.command) {
    case Command::Fleet: status = RunFleet(inv, client, out, messages); break;
    case Command::Show:
    case Command::ProfileSave:
    case Command::ProfileDiff: status = Show(c, profile); break;
    case Command::Set:
    case Command::ProfileApply: status = Apply(c, profile); break;
    case Command::Action:
    case Command::Rotate: status = Act(c); break;
    case Command::Watch: status = Watch(c); break;
    case Command::Help:
    case Command::Journal:
    case Command::Analyze:
    case Command::Crawl:
    case Command::Sweep:
    case Command::Tune:
    case Command::Test: break;  // refused by the command line
  }
  if (std::ferror(out) && status == EXIT_DONE && inv.command != Command::Watch) {
    c.Say("cannot write the result");
    status = EXIT_FAILED;
  }
  // Gone away: whatever motion it started stops; the retained word is cleared after.
  if (motion) {
    client.Publish(presence, "offline", true);
    client.Publish(presence, "", true);
  }
  client.Disconnect(MqttClock::now() + inv.timeout);
  return status;
}

}  // namespace velkor::ctl
