// daemon_config.cpp: reading and checking velkord's JSON configuration and
// the broker's credentials file, both opened as the untrusted files they
// are: without waiting on a FIFO, only a regular file of bounded size.
#include "daemon_config.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <set>

#include "topic_tree.h"

namespace velkor::daemon {
namespace {

constexpr size_t CONFIG_LIMIT = 1024 * 1024;
constexpr size_t CREDENTIALS_LIMIT = 4096;

// The first mistake found, said with the key's name; caught in LoadConfig.
struct Mistake {
  std::string why;
};

// O_NONBLOCK: a FIFO in the file's place must not hold the open. `mode`
// receives the file's permission bits.
std::optional<std::string> ReadRegularFile(const std::string& path, size_t limit, mode_t& mode, std::string& error) {
  int fd = -1;
  do {
    fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  struct stat info {};
  std::optional<std::string> text;
  if (fstat(fd, &info) != 0) {
    error = "cannot read " + path + ": " + std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    error = path + " is not a regular file";
  } else {
    mode = info.st_mode;
    text.emplace();
    char chunk[4096];
    for (;;) {
      const ssize_t n = read(fd, chunk, sizeof chunk);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error = "cannot read " + path + ": " + std::strerror(errno);
      if (n > 0) text->append(chunk, static_cast<size_t>(n));
      if (text->size() > limit) error = path + " is larger than " + std::to_string(limit) + " bytes";
      if (n <= 0 || text->size() > limit) break;
    }
    if (!error.empty()) text.reset();
  }
  close(fd);
  return text;
}

// Every key not listed is a mistake: a misspelt one would be ignored silently.
void OnlyKnownKeys(const QJsonObject& object, const std::string& prefix, const std::set<std::string>& known) {
  for (const QString& key : object.keys())
    if (!known.count(key.toStdString())) throw Mistake{"unknown key \"" + prefix + key.toStdString() + "\""};
}

std::string String(const QJsonObject& object, const char* key, const std::string& name,
                   const std::string& fallback = {}) {
  if (!object.contains(key)) return fallback;
  if (!object[key].isString()) throw Mistake{"\"" + name + "\" must be a string"};
  return object[key].toString().toStdString();
}

bool Bool(const QJsonObject& object, const char* key, const std::string& name) {
  if (!object.contains(key)) return false;
  if (!object[key].isBool()) throw Mistake{"\"" + name + "\" must be true or false"};
  return object[key].toBool();
}

QJsonObject Object(const QJsonObject& object, const char* key, const std::string& name) {
  if (object.contains(key) && !object[key].isObject()) throw Mistake{"\"" + name + "\" must be an object"};
  return object[key].toObject();
}

// A positive number of seconds as milliseconds.
milliseconds Seconds(const QJsonObject& object, const char* key, const std::string& name, milliseconds fallback) {
  if (!object.contains(key)) return fallback;
  const double seconds = object[key].toDouble(-1);
  if (!(seconds > 0) || seconds > 86400) throw Mistake{"\"" + name + "\" must be a positive number of seconds"};
  return milliseconds(static_cast<int64_t>(std::ceil(seconds * 1000)));
}

// "USER:PASSWORD" on the first line.
bool ReadCredentials(const std::string& path, std::string& user, std::string& password, mode_t& mode,
                     std::string& error) {
  const auto text = ReadRegularFile(path, CREDENTIALS_LIMIT, mode, error);
  if (!text) return false;
  const std::string line = text->substr(0, text->find('\n'));
  const size_t colon = line.find(':');
  if (colon == std::string::npos || colon == 0) {
    error = path + ": the first line must be USER:PASSWORD";
    return false;
  }
  user = line.substr(0, colon);
  password = line.substr(colon + 1);
  return true;
}

// A relative file name of the broker's section: in systemd's credentials
// directory when the unit hands some in (LoadCredential=), else beside the
// configuration file.
std::string BrokerFile(const QJsonObject& broker, const char* key, const std::string& configPath) {
  const std::string name = String(broker, key, std::string("broker.") + key);
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

void ReadBroker(const QJsonObject& broker, const std::string& path, DaemonConfig& config) {
  OnlyKnownKeys(broker, "broker.",
                {"host", "port", "plain", "ca_file", "cert_file", "key_file", "client_id", "credentials_file"});
  mqtt::BrokerSettings& b = config.broker;
  b.host = String(broker, "host", "broker.host", b.host);
  b.plain = Bool(broker, "plain", "broker.plain");
  b.port = b.plain ? 1883 : 8883;
  if (broker.contains("port")) {
    const double port = broker["port"].toDouble(-1);
    if (!(port >= 1 && port <= 65535) || port != std::floor(port)) throw Mistake{"\"broker.port\" must be 1..65535"};
    b.port = static_cast<int>(port);
  }
  b.caFile = BrokerFile(broker, "ca_file", path);
  b.certFile = BrokerFile(broker, "cert_file", path);
  b.keyFile = BrokerFile(broker, "key_file", path);
  b.clientId = String(broker, "client_id", "broker.client_id", "velkord-" + config.site + "-" + config.host);
  if (!b.plain && b.caFile.empty()) throw Mistake{"\"broker.ca_file\" is needed unless \"broker.plain\" is true"};
  if (b.certFile.empty() != b.keyFile.empty())
    throw Mistake{"\"broker.cert_file\" and \"broker.key_file\" go together"};
  if (!broker.contains("credentials_file")) return;
  const std::string file = BrokerFile(broker, "credentials_file", path);
  mode_t mode = 0;
  std::string error;
  if (!ReadCredentials(file, b.user, b.password, mode, error)) throw Mistake{error};
  if (mode & (S_IRWXG | S_IRWXO))
    config.warnings.push_back("the credentials file " + file + " is open to other users: make it mode 0600");
  // Read again before each connection, so that mended credentials are used
  // without a restart.
  b.readCredentials = [file](std::string& user, std::string& password, std::string& why) {
    mode_t ignored = 0;
    return ReadCredentials(file, user, password, ignored, why);
  };
}

DaemonConfig Read(const QJsonObject& root, const std::string& path) {
  OnlyKnownKeys(root, "", {"site", "host", "broker", "drivers", "readings_interval_s", "timeout_s", "remote",
                           "metrics", "state_directory"});
  DaemonConfig config;
  config.site = String(root, "site", "site");
  config.host = String(root, "host", "host", MachineName());
  if (!mqtt::ValidName(config.site)) throw Mistake{"\"site\" must be letters, digits, '_' or '-'"};
  if (!mqtt::ValidName(config.host)) throw Mistake{"\"host\" must be letters, digits, '_' or '-'"};
  ReadBroker(Object(root, "broker", "broker"), path, config);

  config.readingsInterval = Seconds(root, "readings_interval_s", "readings_interval_s", config.readingsInterval);
  config.timeout = Seconds(root, "timeout_s", "timeout_s", config.timeout);
  const QJsonObject remote = Object(root, "remote", "remote");
  OnlyKnownKeys(remote, "remote.", {"motion", "max_rotation_s"});
  config.maxRotation = Seconds(remote, "max_rotation_s", "remote.max_rotation_s", config.maxRotation);
  config.remoteMotion = Bool(remote, "motion", "remote.motion");
  const QJsonObject metrics = Object(root, "metrics", "metrics");
  OnlyKnownKeys(metrics, "metrics.", {"address"});
  config.metricsAddress = String(metrics, "address", "metrics.address", config.metricsAddress);
  const char* stateDirectory = std::getenv("STATE_DIRECTORY");
  config.stateDirectory =
      String(root, "state_directory", "state_directory", stateDirectory ? stateDirectory : "/var/lib/velkord");

  if (root.contains("drivers") && !root["drivers"].isArray()) throw Mistake{"\"drivers\" must be an array"};
  std::set<std::string> names;
  for (const QJsonValue& entry : root["drivers"].toArray()) {
    if (!entry.isObject()) throw Mistake{"each of \"drivers\" must be an object"};
    const QJsonObject object = entry.toObject();
    OnlyKnownKeys(object, "drivers[].", {"name", "port"});
    DriverConfig driver{String(object, "name", "drivers[].name"), String(object, "port", "drivers[].port")};
    if (!mqtt::ValidName(driver.name)) throw Mistake{"a driver's \"name\" must be letters, digits, '_' or '-'"};
    if (driver.port.empty()) throw Mistake{"the driver " + driver.name + " has no \"port\""};
    if (!names.insert(driver.name).second) throw Mistake{"the driver name " + driver.name + " is given twice"};
    config.drivers.push_back(driver);
  }
  if (config.drivers.empty()) throw Mistake{"\"drivers\" names no driver"};
  return config;
}

}  // namespace

std::optional<DaemonConfig> LoadConfig(const std::string& path, std::string& error) {
  mode_t mode = 0;
  const auto text = ReadRegularFile(path, CONFIG_LIMIT, mode, error);
  if (!text) return std::nullopt;
  QJsonParseError parseError{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(*text), &parseError);
  if (!document.isObject()) {
    error = path + ": not a JSON object (" + parseError.errorString().toStdString() + ")";
    return std::nullopt;
  }
  try {
    return Read(document.object(), path);
  } catch (const Mistake& mistake) {
    error = path + ": " + mistake.why;
    return std::nullopt;
  }
}

}  // namespace velkor::daemon
