// mqtt_settings.cpp: the settings file's key = value lines and the password file.
#include "mqtt_settings.h"

#include <cstdlib>
#include <fstream>
#include <map>

namespace velkor::ctl {
namespace {

std::string SettingsPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && config[0] == '/') return std::string(config) + "/velkor/velkorctl.conf";
  const char* home = std::getenv("HOME");
  return home && home[0] ? std::string(home) + "/.config/velkor/velkorctl.conf" : std::string();
}

std::string Trimmed(const std::string& text) {
  const size_t from = text.find_first_not_of(" \t\r");
  if (from == std::string::npos) return {};
  return text.substr(from, text.find_last_not_of(" \t\r") - from + 1);
}

// A missing settings file is no error: everything may come from the options.
bool ReadSettings(const std::string& path, std::map<std::string, std::string>& settings, std::string& error) {
  std::ifstream in(path);
  if (!in) return true;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    line = Trimmed(line);
    if (line.empty() || line[0] == '#') continue;
    const size_t equals = line.find('=');
    const std::string key = equals == std::string::npos ? std::string() : Trimmed(line.substr(0, equals));
    if (key != "ca" && key != "cert" && key != "key" && key != "password-file") {
      error = path + ", line " + std::to_string(number) + ": expected ca, cert, key or password-file = FILE";
      return false;
    }
    settings[key] = Trimmed(line.substr(equals + 1));
  }
  return true;
}

}  // namespace

std::optional<MqttCredentials> MqttCredentialsFor(const MqttOptions& options, std::string& error) {
  std::map<std::string, std::string> settings;
  if (const std::string path = SettingsPath(); !path.empty() && !ReadSettings(path, settings, error)) return std::nullopt;
  const auto pick = [&](const std::string& given, const char* key) { return given.empty() ? settings[key] : given; };
  MqttCredentials c;
  c.caFile = pick(options.caFile, "ca");
  c.certFile = pick(options.certFile, "cert");
  c.keyFile = pick(options.keyFile, "key");
  if (const char* password = std::getenv(PASSWORD_VARIABLE); password && password[0]) {
    c.password = password;
    return c;
  }
  const std::string passwordFile = pick(options.passwordFile, "password-file");
  if (passwordFile.empty()) return c;
  std::ifstream in(passwordFile);
  if (!in || !std::getline(in, c.password)) {
    error = "cannot read the password file " + passwordFile;
    return std::nullopt;
  }
  if (!c.password.empty() && c.password.back() == '\r') c.password.pop_back();
  return c;
}

}  // namespace velkor::ctl
