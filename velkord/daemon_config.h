// daemon_config.h: velkord's configuration, one JSON file (every key is
// described in the README): the site and host names, the broker and how to
// reach it safely, the drivers and their ports, the readings' interval, what
// remote clients may do, and where metrics are served. Everything in it is
// checked on loading; a bad file names the key (a wrong type and an unknown
// key included). Depends on QtCore's JSON
// parser and the broker settings.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "broker_link.h"

namespace velkor::daemon {

using std::chrono::milliseconds;

struct DriverConfig {
  std::string name;  // its topic level: [A-Za-z0-9_-]+
  std::string port;  // a device, rfc2217://HOST:PORT or tcp://HOST:PORT
};

struct DaemonConfig {
  std::string site;
  std::string host;  // default: the machine's host name
  mqtt::BrokerSettings broker;
  milliseconds readingsInterval{1000};
  milliseconds timeout{5000};  // for connecting a driver and for each command
  bool remoteMotion = false;
  milliseconds maxRotation{10000};
  std::string metricsAddress = "127.0.0.1:9466";  // empty: no metrics
  std::string stateDirectory;  // default: $STATE_DIRECTORY, else /var/lib/velkord
  std::vector<DriverConfig> drivers;
  std::vector<std::string> warnings;  // logged on starting: a credentials file others may read
};

// The configuration in `path`, or nothing with the reason in `error`. The
// credentials file it names is read too, and again before each connection.
std::optional<DaemonConfig> LoadConfig(const std::string& path, std::string& error);

}  // namespace velkor::daemon
