// daemon_config.cpp: reading and checking velkord's JSON configuration and
// the broker's credentials file.
#include "daemon_config.h"

#include <unistd.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>
#include <cstdlib>
#include <set>

#include "topic_tree.h"

namespace velkor::daemon {
namespace {

std::optional<std::string> ReadText(const std::string& path, std::string& error) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) {
    error = "cannot read " + path + ": " + file.errorString().toStdString();
    return std::nullopt;
  }
  return file.readAll().toStdString();
}

std::string String(const QJsonObject& object, const char* key, const std::string& fallback = {}) {
  return object.contains(key) ? object[key].toString().toStdString() : fallback;
}

// A positive number of seconds as milliseconds; nothing when malformed.
std::optional<milliseconds> Seconds(const QJsonObject& object, const char* key, milliseconds fallback) {
  if (!object.contains(key)) return fallback;
  const double seconds = object[key].toDouble(-1);
  if (!(seconds > 0) || seconds > 86400) return std::nullopt;
  return milliseconds(static_cast<int64_t>(std::ceil(seconds * 1000)));
}

// "USER:PASSWORD" on the first line.
bool ReadCredentials(const std::string& path, mqtt::BrokerSettings& broker, std::string& error) {
  const auto text = ReadText(path, error);
  if (!text) return false;
  const std::string line = text->substr(0, text->find('\n'));
  const size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) {
    error = path + ": the first line must be USER:PASSWORD";
    return false;
  }
  broker.user = line.substr(0, colon);
  broker.password = line.substr(colon + 1);
  return true;
}

// A relative file name of the broker's section: in systemd's credentials
// directory when the unit hands some in (LoadCredential=), else beside the
// configuration file.
std::string BrokerFile(const QJsonObject& broker, const char* key, const std::string& configPath) {
  const std::string name = String(broker, key);
  if (name.empty() || name.front() == '/') return name;
  const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
  if (credentials && *credentials) return std::string(credentials) + "/" + name;
  const size_t slash = configPath.rfind('/');
  return slash == std::string::npos ? name : configPath.substr(0, slash + 1) + name;
}

std::string MachineName() {
  char name[256] = {};
  gethostname(name, sizeof name - 1);
  std::string host(name);
  return host.substr(0, host.find('.'));
}

}  // namespace

std::optional<DaemonConfig> LoadConfig(const std::string& path, std::string& error) {
  const auto text = ReadText(path, error);
  if (!text) return std::nullopt;
  QJsonParseError parseError{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*text), &parseError);
  if (!document.isObject()) {
    error = path + ": not a JSON object (" + parseError.errorString().toStdString() + ")";
    return std::nullopt;
  }
  const QJsonObject root = document.object();
  const auto fail = [&](const std::string& why) {
    error = path + ": " + why;
    return std::nullopt;
  };
  DaemonConfig config;
  config.site = String(root, "site");
  config.host = String(root, "host", MachineName());
  if (!mqtt::ValidName(config.site)) return fail("\"site\" must be letters, digits, '_' or '-'");
  if (!mqtt::ValidName(config.host)) return fail("\"host\" must be letters, digits, '_' or '-'");

  const QJsonObject broker = root["broker"].toObject();
  mqtt::BrokerSettings& b = config.broker;
  b.host = String(broker, "host", b.host);
  b.plain = broker["plain"].toBool(false);
  b.port = broker["port"].toInt(b.plain ? 1883 : 8883);
  b.caFile = BrokerFile(broker, "ca_file", path);
  b.certFile = BrokerFile(broker, "cert_file", path);
  b.keyFile = BrokerFile(broker, "key_file", path);
  b.clientId = String(broker, "client_id", "velkord-" + config.site + "-" + config.host);
  if (b.port <= 0 || b.port > 65535) return fail("\"broker.port\" must be 1..65535");
  if (!b.plain && b.caFile.empty()) return fail("\"broker.ca_file\" is needed unless \"broker.plain\" is true");
  if (b.certFile.empty() != b.keyFile.empty()) return fail("\"broker.cert_file\" and \"broker.key_file\" go together");
  if (broker.contains("credentials_file") && !ReadCredentials(BrokerFile(broker, "credentials_file", path), b, error))
    return std::nullopt;

  const auto interval = Seconds(root, "readings_interval_s", config.readingsInterval);
  const auto timeout = Seconds(root, "timeout_s", config.timeout);
  const QJsonObject remote = root["remote"].toObject();
  const auto rotation = Seconds(remote, "max_rotation_s", config.maxRotation);
  if (!interval) return fail("\"readings_interval_s\" must be a positive number of seconds");
  if (!timeout) return fail("\"timeout_s\" must be a positive number of seconds");
  if (!rotation) return fail("\"remote.max_rotation_s\" must be a positive number of seconds");
  config.readingsInterval = *interval;
  config.timeout = *timeout;
  config.maxRotation = *rotation;
  config.remoteMotion = remote["motion"].toBool(false);
  config.metricsAddress = String(root["metrics"].toObject(), "address", config.metricsAddress);
  const char* stateDirectory = std::getenv("STATE_DIRECTORY");
  config.stateDirectory = String(root, "state_directory", stateDirectory ? stateDirectory : "/var/lib/velkord");

  std::set<std::string> names;
  for (const QJsonValue& entry : root["drivers"].toArray()) {
    DriverConfig driver{String(entry.toObject(), "name"), String(entry.toObject(), "port")};
    if (!mqtt::ValidName(driver.name)) return fail("a driver's \"name\" must be letters, digits, '_' or '-'");
    if (driver.port.empty()) return fail("the driver " + driver.name + " has no \"port\"");
    if (!names.insert(driver.name).second) return fail("the driver name " + driver.name + " is given twice");
    config.drivers.push_back(driver);
  }
  if (config.drivers.empty()) return fail("\"drivers\" names no driver");
  return config;
}

}  // namespace velkor::daemon
