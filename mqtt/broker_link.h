// broker_link.h: one MQTT 5 connection to the broker through libmosquitto,
// run by the library's own thread: TLS against a CA (client certificate
// optional) or, only when asked, plain; a user name and password; a retained
// will; reconnection with back-off after any loss. Every retained message
// published is remembered and published again after each reconnection, with
// the subscriptions, so a broker that restarted empty learns the state anew.
// Messages arrive on the library's thread. Depends on libmosquitto.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;

namespace velkor::mqtt {

struct BrokerSettings {
  std::string host = "localhost";
  int port = 8883;
  std::string caFile;    // TLS: the CA the broker's certificate is verified against
  std::string certFile;  // TLS: the client's own certificate and key, optional
  std::string keyFile;
  bool plain = false;    // no TLS at all: only when the configuration says so
  std::string user;      // empty: no credentials
  std::string password;
  std::string clientId;
  int keepAliveSeconds = 30;
};

struct Incoming {
  std::string topic;
  std::string payload;
  bool retained = false;
  std::string responseTopic;  // MQTT 5 properties; empty when absent
  std::string correlation;
};

inline constexpr int RECONNECT_FIRST_S = 1;
inline constexpr int RECONNECT_LONGEST_S = 30;

class BrokerLink {
 public:
  using Log = std::function<void(const std::string&)>;
  // `willTopic` gets "offline", retained, when the connection ends unasked.
  BrokerLink(BrokerSettings settings, std::string willTopic, std::vector<std::string> subscriptions,
             std::function<void(const Incoming&)> onMessage, Log log);
  ~BrokerLink();
  BrokerLink(const BrokerLink&) = delete;
  BrokerLink& operator=(const BrokerLink&) = delete;

  // Sets the connection up and starts connecting in the background. False,
  // with the reason in `error`, for what no retry mends (a missing CA file).
  bool Start(std::string& error);
  // Publishes what is given (retained state first), disconnects and stops
  // the thread.
  void Stop();

  void PublishRetained(const std::string& topic, const std::string& payload);
  void Publish(const std::string& topic, const std::string& payload);
  // The reply to a command: to its response topic, with its correlation data.
  void Reply(const Incoming& request, const std::string& payload);

  bool Connected() const { return connected_; }
  uint64_t Connections() const { return connections_; }

  // The library's callbacks, on its thread.
  void HandleConnect(int rc);
  void HandleDisconnect(int rc);
  void HandleError(const std::string& text);
  void HandleMessage(const Incoming& message) { onMessage_(message); }

 private:
  void PublishNow(const std::string& topic, const std::string& payload, bool retain);

  BrokerSettings settings_;
  std::string willTopic_;
  std::vector<std::string> subscriptions_;
  std::function<void(const Incoming&)> onMessage_;
  Log log_;
  mosquitto* mosq_ = nullptr;
  std::mutex mutex_;  // guards retained_
  std::map<std::string, std::string> retained_;
  std::atomic<bool> connected_ = false;
  std::atomic<uint64_t> connections_ = 0;
  std::string lastError_;  // on the library's thread only
};

}  // namespace velkor::mqtt
