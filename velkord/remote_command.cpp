// remote_command.cpp: reading a command's JSON and writing its reply.
#include "remote_command.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <vector>

#include "codes.h"
#include "json_string.h"
#include "profile_error.h"
#include "profile_file.h"
#include "session.h"
#include "topic_tree.h"

namespace velkor::daemon {
namespace {

// The port is the driver's own; the command line only needs one named.
constexpr std::string_view SOME_PORT = "velkord";
// A day: longer than any asker waits.
constexpr double MAX_ASKER_WAIT_S = 86400;

bool IsMotion(uint16_t action) {
  return action == ACT_ROTATE_LEFT || action == ACT_ROTATE_RIGHT || action == ACT_STEP_LEFT ||
         action == ACT_STEP_RIGHT || action == ACT_TEST;
}

// A boolean or a number, as the command line takes it.
std::string ValueText(const QJsonValue& value) {
  if (value.isBool()) return value.toBool() ? "on" : "off";
  const double number = value.toDouble();
  return number == std::floor(number) && std::fabs(number) < 1e9 ? std::to_string(static_cast<int64_t>(number))
                                                                  : "not-a-whole-number";
}

std::optional<ctl::Invocation> Parse(std::vector<std::string> args, const RemotePolicy& policy, std::string& error) {
  const std::vector<std::string_view> views(args.begin(), args.end());
  ctl::Parsed parsed = ctl::ParseCommandLine(views, SOME_PORT);
  if (!parsed.invocation) {
    error = parsed.error;
    return std::nullopt;
  }
  parsed.invocation->timeout = policy.timeout;
  return parsed.invocation;
}

}  // namespace

std::variant<RemoteRequest, std::string> ParseRemoteCommand(std::string_view command, std::string_view payload,
                                                            const RemotePolicy& policy) {
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray(payload.data(), static_cast<int>(payload.size())));
  if (!document.isObject()) return std::string("the command is not a JSON object");
  const QJsonObject body = document.object();
  RemoteRequest request;
  request.client = body["client"].toString().toStdString();
  if (!request.client.empty() && !mqtt::ValidClientId(request.client))
    return std::string("\"client\" must be one topic level without wildcards");
  if (body.contains("timeout_s")) {
    const double seconds = body["timeout_s"].toDouble(0);
    if (!(seconds > 0) || seconds > MAX_ASKER_WAIT_S)
      return std::string("\"timeout_s\" must be a positive number of seconds, the asker's wait for the reply");
    request.askerWaits = std::chrono::microseconds(std::llround(seconds * 1e6));
  }
  if (body.contains("save") && !body["save"].isBool()) return std::string("\"save\" must be true or false");
  std::vector<std::string> args;
  if (command == "show") {
    args = {"show", "--json"};
  } else if (command == "set") {
    args = {"set"};
    const QJsonObject values = body["values"].toObject();
    if (values.isEmpty()) return std::string("set needs \"values\": {\"NAME\": VALUE, ...}");
    for (auto it = values.begin(); it != values.end(); ++it) {
      if (!it.value().isDouble() && !it.value().isBool())
        return "the value of " + it.key().toStdString() + " must be a number (smoothing: true or false)";
      args.push_back(it.key().toStdString() + "=" + ValueText(it.value()));
    }
    if (body["save"].toBool(false)) args.push_back("--save");
  } else if (command == "action") {
    const std::string name = body["action"].toString().toStdString();
    if (name == "rotate-left" || name == "rotate-right") {
      const double seconds = body["duration_s"].toDouble(0);
      if (!(seconds > 0)) return std::string("a rotation needs \"duration_s\", a positive number of seconds");
      if (seconds * 1000 > static_cast<double>(policy.maxRotation.count()))
        return "a remote rotation may last " + ctl::Seconds(policy.maxRotation) + " at most";
      args = {"rotate", name.substr(std::string_view("rotate-").size()), "--for", std::to_string(seconds)};
    } else {
      args = {"action", name};
    }
  } else if (command == "profile") {
    if (!body["profile"].isObject()) return std::string("profile needs \"profile\": the profile file's object");
    const QByteArray text = QJsonDocument(body["profile"].toObject()).toJson();
    if (const auto error = ParseProfile(text.toStdString(), "the profile sent", request.profile))
      return ProfileErrorText(*error, Language::English);
    args = {"profile", "apply", "remote"};
    if (body["save"].toBool(false)) args.push_back("--save");
  } else {
    return "unknown command " + std::string(command) + "; the commands are set, action, profile and show";
  }
  std::string error;
  auto invocation = Parse(args, policy, error);
  if (!invocation) return error;
  request.invocation = *invocation;
  const bool motion = (request.invocation.command == ctl::Command::Action && IsMotion(request.invocation.action)) ||
                      request.invocation.command == ctl::Command::Rotate;
  if (motion && !policy.motion) return std::string("remote motion is not allowed by velkord's configuration");
  if (motion && request.client.empty())
    return std::string("a motion needs \"client\", whose presence topic stops it when the client goes away");
  request.motion = motion;
  return request;
}

std::string ParameterJson(ParameterId id, int32_t value) {
  if (id == ParameterId::Smoothing) return value != 0 ? "true" : "false";
  return std::to_string(value);
}

std::string ReplyJson(int exitStatus, const ProfileApply* apply, std::string_view message, std::string_view show) {
  std::string results = "[";
  std::string saved = "null";
  if (apply) {
    for (const ApplyRow& row : Rows(*apply)) {
      const bool reported = row.status == ApplyRowStatus::Confirmed || row.status == ApplyRowStatus::Mismatch;
      const bool unchanged = row.status == ApplyRowStatus::Unchanged;
      const char* result = row.status == ApplyRowStatus::Mismatch ? "mismatch"
                           : reported || unchanged                ? "confirmed"
                                                                  : "not applied";
      if (results.size() > 1) results += ",";
      results += "{\"name\":" + JsonString(ParameterName(row.id)) +
                 ",\"requested\":" + ParameterJson(row.id, row.profileValue) + ",\"reported\":" +
                 (reported ? ParameterJson(row.id, row.reported)
                           : unchanged ? ParameterJson(row.id, row.driverBefore) : "null") +
                 ",\"result\":\"" + result + "\"}";
    }
    if (apply->save) saved = apply->outcome == ApplyOutcome::Saved ? "true" : "false";
  }
  std::string reply = "{\"exit\":" + std::to_string(exitStatus) + ",\"results\":" + results + "],\"saved\":" +
                      saved + ",\"message\":" + JsonString(message);
  if (!show.empty()) reply += ",\"show\":" + std::string(show);
  return reply + "}";
}

}  // namespace velkor::daemon
