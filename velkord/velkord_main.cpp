// velkord_main.cpp: velkord, the service that serves VK-3 drivers to an MQTT
// broker. Reads its configuration, connects to the broker, starts a thread
// per driver and the metrics page, and tells systemd it is ready, alive
// (while every driver's thread and the broker's are) and stopping. Ends on
// SIGTERM, SIGINT or SIGHUP, once every jog has been stopped, and with a
// failure when another velkord took the broker session over. Depends on the daemon's parts,
// velkorctl's interruption flag and libsystemd's sd_notify.
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cstdio>
#include <atomic>
#include <csignal>
#include <cstring>
#include <random>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "broker_link.h"
#include "client_presence.h"
#include "daemon_config.h"
#include "driver_metrics.h"
#include "driver_service.h"
#include "interruption.h"
#include "metrics_server.h"
#include "standard_descriptors.h"
#include "topic_tree.h"
#include "version.h"

namespace {

using namespace velkor;
using namespace velkor::daemon;

constexpr const char* DEFAULT_CONFIG = "/etc/velkord/velkord.json";
constexpr std::chrono::milliseconds ROUND{200};
// Another velkord serves the same site and host; the unit does not restart on it.
constexpr int EXIT_TAKEN_OVER = 3;

const char HELP[] =
    "Usage: velkord [--config FILE]\n"
    "Serves VK-3 microstep drivers to an MQTT broker: owns the ports named in\n"
    "its configuration, one link per driver, publishes each driver's state,\n"
    "parameters, readings and events under velkor/v1/SITE/HOST/DRIVER/, runs\n"
    "the commands remote clients send (set, action, profile, show) with\n"
    "verified results, and serves Prometheus metrics. Runs until SIGTERM,\n"
    "SIGINT or SIGHUP, and stops any motion before it ends.\n"
    "\n"
    "  --config FILE   the JSON configuration (default /etc/velkord/velkord.json;\n"
    "                  its keys are described in the README)\n"
    "  --help          show this text\n"
    "  --version       show the version and the licence\n";

void Log(const std::string& text) { std::fprintf(stderr, "velkord: %s\n", text.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  if (!OpenStandardDescriptors()) return 1;
  std::string configPath = DEFAULT_CONFIG;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--help") {
      std::fputs(HELP, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("velkord %s\n%s", VERSION, VERSION_NOTICE);
      return 0;
    }
    if (arg == "--config" && i + 1 < argc) {
      configPath = argv[++i];
    } else if (arg.rfind("--config=", 0) == 0) {
      configPath = arg.substr(9);
    } else {
      std::fprintf(stderr, "velkord: unknown argument %s (see --help)\n", arg.c_str());
      return 2;
    }
  }
  std::setvbuf(stderr, nullptr, _IOLBF, 0);
  std::string error;
  const auto config = LoadConfig(configPath, error);
  if (!config) {
    Log(error);
    return 2;
  }
  ctl::CatchInterruptions();
  for (const std::string& warning : config->warnings) Log("warning: " + warning);
  if (config->broker.plain)
    Log("warning: the broker connection is plain, without TLS: anyone on the network can read and forge it");

  const std::string root = mqtt::HostRoot(config->site, config->host);
  ClientPresence presence;
  std::vector<std::unique_ptr<DriverService>> drivers;
  // Each run claims its site and host with a retained token. A broker that
  // hands the session to a second velkord with the same client id closes the
  // first one's connection without a word; the first learns it when, back,
  // it finds another token retained.
  const std::string instanceTopic = root + "/instance";
  const std::string instance = std::to_string(getpid()) + "-" + std::to_string(std::random_device()());
  std::atomic<bool> displaced = false;
  mqtt::BrokerLink broker(
      config->broker, mqtt::StatusTopic(root),
      {mqtt::CommandFilter(root), mqtt::PresenceFilter(), instanceTopic},
      [&](const mqtt::Incoming& message) {
        if (message.topic == instanceTopic) {
          // The claim just republished on reconnecting is given back at once,
          // long before the other's retry (a second at least) can read it.
          if (message.retained && message.payload != instance && broker.Connections() > 1 && !displaced) {
            displaced = true;
            broker.PublishRetained(instanceTopic, message.payload);
          }
          return;
        }
        if (const auto client = mqtt::ParsePresenceTopic(message.topic)) {
          presence.Note(*client, message.payload == mqtt::ONLINE);
          return;
        }
        const auto command = mqtt::ParseCommandTopic(root, message.topic);
        // A retained command would run again at every reconnection: never.
        if (!command || message.retained) return;
        for (const auto& driver : drivers)
          if (driver->Name() == command->driver) driver->Enqueue(message, command->command);
      },
      Log);
  for (const DriverConfig& driver : config->drivers)
    drivers.push_back(std::make_unique<DriverService>(driver, *config, broker, presence));
  broker.PublishRetained(mqtt::StatusTopic(root), std::string(mqtt::ONLINE));
  broker.PublishRetained(instanceTopic, instance);
  if (!broker.Start(error)) {
    Log(error);
    return 1;
  }
  MetricsServer metrics([&] {
    std::vector<std::pair<std::string, DriverFigures>> figures;
    for (const auto& driver : drivers) figures.emplace_back(driver->Name(), driver->metrics.Copy());
    return MetricsText(config->site, config->host, figures);
  });
  if (!config->metricsAddress.empty() && !metrics.Start(config->metricsAddress, error)) {
    Log(error);
    broker.Stop();
    return 1;
  }
  for (const auto& driver : drivers) driver->Start();
  sd_notify(0, "READY=1");
  Log("serving " + std::to_string(drivers.size()) + " drivers as " + root);

  // The watchdog is fed only while every driver's thread shows it is alive
  // (each waits at most its timeout without a sign) and the broker's runs.
  uint64_t watchdogUsec = 0;
  const bool watchdog = sd_watchdog_enabled(0, &watchdogUsec) > 0;
  const double stale = std::chrono::duration<double>(config->timeout).count() * 2 + 5;
  std::string lastStatus;
  bool takenOver = false;
  while (!ctl::Interrupted()) {
    std::this_thread::sleep_for(ROUND);
    size_t connected = 0;
    bool alive = true;
    for (const auto& driver : drivers) {
      connected += driver->metrics.Copy().up ? 1 : 0;
      alive = alive && SteadySeconds() - driver->Heartbeat() < stale;
    }
    if (broker.Ended() || displaced) {
      Log("another velkord serves " + config->site + "/" + config->host +
          " (it connected with the same client id); this one ends");
      takenOver = true;
      broker.Stop();
      // The drivers' threads end on the interruption flag, as on SIGTERM.
      std::raise(SIGTERM);
      break;
    }
    if (watchdog && alive) sd_notify(0, "WATCHDOG=1");
    const std::string status = std::to_string(connected) + " of " + std::to_string(drivers.size()) +
                               " drivers connected; broker " + (broker.Connected() ? "connected" : "not connected");
    if (status != lastStatus) sd_notify(0, ("STATUS=" + status).c_str());
    lastStatus = status;
  }
  sd_notify(0, "STOPPING=1");
  Log("stopping");
  for (const auto& driver : drivers) driver->Join();
  metrics.Stop();
  // The status topic is the other velkord's now.
  if (!takenOver) broker.PublishRetained(mqtt::StatusTopic(root), std::string(mqtt::OFFLINE));
  broker.Stop();
  return takenOver ? EXIT_TAKEN_OVER : 0;
}
