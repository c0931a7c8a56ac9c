// fleet_command.cpp: the retained state gathered, then printed. A broker
// sends a subscription's retained messages before anything published after
// the subscription was granted: a message of velkorctl's own, published then
// and received back, marks that all of them have come.
#include "fleet_command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <map>

#include "json_string.h"
#include "parameter_table.h"
#include "session.h"
#include "terminal_text.h"

namespace velkor::ctl {
namespace {

struct DriverSeen {
  QJsonObject info;
  QJsonObject link;
  QJsonObject params;
};

QJsonObject Object(const std::string& payload) {
  return QJsonDocument::fromJson(QByteArray::fromStdString(payload)).object();
}

// The names of the unsaved parameters, in the panel's order.
std::vector<std::string> Unsaved(const QJsonObject& params) {
  std::vector<std::string> names;
  const QJsonObject states = params.value("states").toObject();
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const std::string name(ParameterName(static_cast<ParameterId>(i)));
    if (states.value(QString::fromStdString(name)).toObject().value("unsaved").toBool()) names.push_back(name);
  }
  return names;
}

std::string Text(const QJsonObject& o, const char* key, const char* none) {
  const QJsonValue v = o.value(key);
  return v.isString() ? v.toString().toStdString() : std::string(none);
}

}  // namespace

int RunFleet(const Invocation& inv, MqttClient& client, std::FILE* out, std::FILE* messages) {
  const std::string probe = "velkor/v1/clients/" + client.ClientId() + "/probe";
  std::map<std::string, DriverSeen> drivers;     // by "SITE/HOST/DRIVER"
  std::map<std::string, std::string> hosts;      // "SITE/HOST": online or offline
  bool probed = false;
  client.onMessage = [&](const MqttMessage& m) {
    if (m.topic == probe) {
      probed = true;
      return;
    }
    // velkor/v1/SITE/HOST/status or velkor/v1/SITE/HOST/DRIVER/LEAF
    const std::string path = m.topic.substr(std::string("velkor/v1/").size());
    const size_t leaf = path.rfind('/');
    const std::string where = path.substr(0, leaf);
    const std::string what = path.substr(leaf + 1);
    if (what == "status") hosts[where] = m.payload;
    else if (m.payload.empty()) return;  // a retained topic cleared
    else if (what == "info") drivers[where].info = Object(m.payload);
    else if (what == "link") drivers[where].link = Object(m.payload);
    else if (what == "params") drivers[where].params = Object(m.payload);
  };
  const auto deadline = MqttClient::Clock::now() + inv.timeout;
  if (!client.Subscribe({"velkor/v1/+/+/status", "velkor/v1/+/+/+/info", "velkor/v1/+/+/+/link",
                         "velkor/v1/+/+/+/params", probe},
                        deadline) ||
      !client.Publish(probe, "", false)) {
    std::fprintf(messages, "velkorctl: %s\n", EscapeControls(client.Error()).c_str());
    return EXIT_FAILED;
  }
  const MqttWait end = client.RunUntil(deadline, [&] { return probed; });
  if (end != MqttWait::Met) {
    const std::string why = end == MqttWait::Interrupted ? "interrupted"
                            : end == MqttWait::TimedOut  ? "the broker did not send its retained state within " + Seconds(inv.timeout)
                                                         : client.Error();
    std::fprintf(messages, "velkorctl: %s\n", EscapeControls(why).c_str());
    return EXIT_FAILED;
  }
  std::string text = inv.json ? "[" : "";
  for (const auto& [where, d] : drivers) {
    const size_t driverSlash = where.rfind('/');
    const std::string host = where.substr(0, driverSlash);
    const std::string hostState = hosts.count(host) ? hosts[host] : "unknown";
    const std::vector<std::string> unsaved = Unsaved(d.params);
    std::string unsavedText;
    for (const std::string& name : unsaved) unsavedText += (unsavedText.empty() ? "" : ",") + name;
    const std::string link = Text(d.link, "state", "unknown");
    const std::string since = Text(d.link, "since", "");
    if (inv.json) {
      std::string names;
      for (const std::string& name : unsaved) names += (names.empty() ? "" : ",") + JsonString(name);
      text += std::string(text.size() > 1 ? "," : "") + "{\"driver\":" + JsonString(where) +
              ",\"host_status\":" + JsonString(hostState) + ",\"port\":" + JsonString(Text(d.info, "port", "")) +
              ",\"identity\":" + JsonString(Text(d.info, "identity", "")) + ",\"link\":" + JsonString(link) +
              ",\"since\":" + (since.empty() ? "null" : JsonString(since)) + ",\"unsaved\":[" + names + "]}";
    } else {
      text += EscapeControls(where + " link=" + link + (since.empty() ? "" : " since=" + since) +
                             " unsaved=" + (unsavedText.empty() ? "none" : unsavedText) + " host=" + hostState +
                             " port=" + Text(d.info, "port", "unknown")) +
              "\n";
    }
  }
  if (inv.json) text += "]\n";
  else if (drivers.empty()) std::fprintf(messages, "velkorctl: the broker knows no Velkor driver\n");
  std::fwrite(text.data(), 1, text.size(), out);
  std::fflush(out);
  return EXIT_DONE;
}

}  // namespace velkor::ctl
