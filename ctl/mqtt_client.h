// mqtt_client.h: velkorctl's one MQTT 5 connection for one command, run on
// the caller's thread with bounded waits: connect (TLS against a CA, a
// client certificate if given, a user and password), subscribe, publish
// (a command with its response topic and correlation data), and run the
// network until a condition holds, the time is up, the connection is lost or
// the run is interrupted. Every way the broker can fail (refused, closed,
// stalled, TLS) is told in words. Depends on libmosquitto.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mqtt_address.h"

struct mosquitto;
struct mosquitto_message;
typedef struct mqtt5__property mosquitto_property;

namespace velkor::ctl {

struct MqttCredentials {
  std::string caFile;  // TLS only; empty: the system's CAs
  std::string certFile;
  std::string keyFile;
  std::string password;  // with the address's user
};

struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retained = false;
  std::string correlation;  // MQTT 5 correlation data; empty when none
};

struct MqttWill {
  std::string topic;
  std::string payload;
};

enum class MqttWait { Met, TimedOut, Lost, Interrupted };

class MqttClient {
 public:
  using Clock = std::chrono::steady_clock;

  explicit MqttClient(std::string clientId);
  ~MqttClient();
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // Connects and waits for the broker to accept; false with the reason in `Error()`.
  bool Connect(const MqttAddress& address, const MqttCredentials& credentials, const std::optional<MqttWill>& will,
               Clock::time_point deadline);
  // Subscribes and waits for the broker's grant.
  bool Subscribe(const std::vector<std::string>& filters, Clock::time_point deadline);
  // Publishes at QoS 1; a request carries `responseTopic` and `correlation`,
  // and expires after `expirySeconds` (0: never), when its asker gives up.
  bool Publish(const std::string& topic, const std::string& payload, bool retain,
               const std::string& responseTopic = {}, const std::string& correlation = {},
               uint32_t expirySeconds = 0);
  // Runs the network until `done`; messages reach `onMessage` meanwhile.
  MqttWait RunUntil(Clock::time_point deadline, const std::function<bool()>& done);
  // Sends what is queued and disconnects cleanly (no will).
  void Disconnect(Clock::time_point deadline);

  const std::string& ClientId() const { return clientId_; }
  // What went wrong last, in English.
  const std::string& Error() const { return error_; }

  std::function<void(const MqttMessage&)> onMessage;

  // libmosquitto's callbacks.
  void HandleConnect(int reason);
  void HandleDisconnect(int reason);
  void HandleSubscribe(int mid, int count, const int* granted);
  void HandlePublish(int mid, int reason);
  void HandleMessage(const mosquitto_message* message, const mosquitto_property* properties);

 private:
  std::string clientId_;
  mosquitto* mosq_ = nullptr;
  std::string broker_;
  bool connected_ = false;
  bool lost_ = false;
  bool refused_ = false;
  int subscribeMid_ = -1;
  bool subscribed_ = false;
  std::string error_;
};

}  // namespace velkor::ctl
