// mqtt_client.cpp: libmosquitto driven by mosquitto_loop on the caller's
// thread, so that every wait is bounded by the caller's deadline and gives
// way to Ctrl-C.
#include "mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>

#include "interruption.h"

namespace velkor::ctl {
namespace {

constexpr int KEEP_ALIVE_S = 30;
constexpr std::chrono::milliseconds LOOP_SLICE{50};

MqttClient& Self(void* obj) { return *static_cast<MqttClient*>(obj); }

void OnConnect(mosquitto*, void* obj, int reason, int, const mosquitto_property*) { Self(obj).HandleConnect(reason); }
void OnDisconnect(mosquitto*, void* obj, int reason, const mosquitto_property*) { Self(obj).HandleDisconnect(reason); }
void OnSubscribe(mosquitto*, void* obj, int mid, int count, const int* granted, const mosquitto_property*) {
  Self(obj).HandleSubscribe(mid, count, granted);
}
void OnPublish(mosquitto*, void* obj, int mid, int reason, const mosquitto_property*) {
  Self(obj).HandlePublish(mid, reason);
}
void OnMessage(mosquitto*, void* obj, const mosquitto_message* message, const mosquitto_property* properties) {
  Self(obj).HandleMessage(message, properties);
}

// One library initialisation for the program's life.
void InitLibrary() {
  static const int once = mosquitto_lib_init();
  (void)once;
}

}  // namespace

MqttClient::MqttClient(std::string clientId) : clientId_(std::move(clientId)) {
  InitLibrary();
  mosq_ = mosquitto_new(clientId_.c_str(), true, this);
  if (!mosq_) return;
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_connect_v5_callback_set(mosq_, OnConnect);
  mosquitto_disconnect_v5_callback_set(mosq_, OnDisconnect);
  mosquitto_subscribe_v5_callback_set(mosq_, OnSubscribe);
  mosquitto_publish_v5_callback_set(mosq_, OnPublish);
  mosquitto_message_v5_callback_set(mosq_, OnMessage);
}

MqttClient::~MqttClient() {
  if (mosq_) mosquitto_destroy(mosq_);
}

bool MqttClient::Connect(const MqttAddress& address, const MqttCredentials& credentials,
                         const std::optional<MqttWill>& will, Clock::time_point deadline) {
  broker_ = address.broker + ":" + std::to_string(address.port);
  if (!mosq_) {
    error_ = "cannot set up an MQTT client";
    return false;
  }
  if (address.tls) {
    const char* ca = credentials.caFile.empty() ? nullptr : credentials.caFile.c_str();
    const int rc = mosquitto_tls_set(mosq_, ca, ca ? nullptr : "/etc/ssl/certs",
                                     credentials.certFile.empty() ? nullptr : credentials.certFile.c_str(),
                                     credentials.keyFile.empty() ? nullptr : credentials.keyFile.c_str(), nullptr);
    if (rc != MOSQ_ERR_SUCCESS) {
      error_ = std::string("cannot use the TLS files (CA, certificate, key): ") + mosquitto_strerror(rc);
      return false;
    }
  }
  if (!address.user.empty()) {
    mosquitto_username_pw_set(mosq_, address.user.c_str(),
                              credentials.password.empty() ? nullptr : credentials.password.c_str());
  }
  if (will) {
    mosquitto_will_set_v5(mosq_, will->topic.c_str(), static_cast<int>(will->payload.size()), will->payload.data(), 1,
                          true, nullptr);
  }
  const int rc = mosquitto_connect_async(mosq_, address.broker.c_str(), address.port, KEEP_ALIVE_S);
  if (rc != MOSQ_ERR_SUCCESS) {
    error_ = "cannot reach the broker " + broker_ + ": " +
             (rc == MOSQ_ERR_ERRNO ? std::string(mosquitto_strerror(rc)) : mosquitto_strerror(rc));
    return false;
  }
  const MqttWait end = RunUntil(deadline, [&] { return connected_ || refused_; });
  if (connected_) return true;
  if (end == MqttWait::TimedOut) error_ = "the broker " + broker_ + " did not accept the connection in time";
  if (end == MqttWait::Interrupted) error_ = "interrupted";
  return false;
}

bool MqttClient::Subscribe(const std::vector<std::string>& filters, Clock::time_point deadline) {
  std::vector<char*> list;
  for (const std::string& f : filters) list.push_back(const_cast<char*>(f.c_str()));
  subscribed_ = false;
  const int rc = mosquitto_subscribe_multiple(mosq_, &subscribeMid_, static_cast<int>(list.size()), list.data(), 1, 0,
                                              nullptr);
  if (rc != MOSQ_ERR_SUCCESS) {
    error_ = std::string("cannot subscribe: ") + mosquitto_strerror(rc);
    return false;
  }
  const MqttWait end = RunUntil(deadline, [&] { return subscribed_ || !error_.empty(); });
  if (subscribed_ && error_.empty()) return true;
  if (end == MqttWait::TimedOut) error_ = "the broker " + broker_ + " did not grant the subscription in time";
  if (end == MqttWait::Interrupted) error_ = "interrupted";
  return false;
}

bool MqttClient::Publish(const std::string& topic, const std::string& payload, bool retain,
                         const std::string& responseTopic, const std::string& correlation,
                         uint32_t expirySeconds) {
  mosquitto_property* properties = nullptr;
  if (expirySeconds > 0) mosquitto_property_add_int32(&properties, MQTT_PROP_MESSAGE_EXPIRY_INTERVAL, expirySeconds);
  if (!responseTopic.empty()) {
    mosquitto_property_add_string(&properties, MQTT_PROP_RESPONSE_TOPIC, responseTopic.c_str());
    mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA, correlation.data(),
                                  static_cast<uint16_t>(correlation.size()));
  }
  const int rc = mosquitto_publish_v5(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(),
                                      1, retain, properties);
  mosquitto_property_free_all(&properties);
  if (rc != MOSQ_ERR_SUCCESS) {
    error_ = "cannot publish to " + topic + ": " + mosquitto_strerror(rc);
    return false;
  }
  return true;
}

MqttWait MqttClient::RunUntil(Clock::time_point deadline, const std::function<bool()>& done) {
  while (!done()) {
    if (lost_ || refused_) return MqttWait::Lost;
    if (Interrupted()) return MqttWait::Interrupted;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return MqttWait::TimedOut;
    const int rc = mosquitto_loop(mosq_, static_cast<int>(std::min(left, LOOP_SLICE).count()), 1);
    if (rc != MOSQ_ERR_SUCCESS && !lost_ && !refused_) {
      lost_ = true;
      const std::string why = rc == MOSQ_ERR_TLS ? "the TLS handshake failed (is the CA the broker's?)"
                              : rc == MOSQ_ERR_ERRNO ? std::string(mosquitto_strerror(rc))
                                                     : std::string(mosquitto_strerror(rc));
      error_ = (connected_ ? "lost the broker " : "cannot connect to the broker ") + broker_ + ": " + why;
    }
  }
  return MqttWait::Met;
}

void MqttClient::Disconnect(Clock::time_point deadline) {
  if (!connected_ || lost_) return;
  // Publishes at QoS 1 are sent before the disconnection when the loop has run.
  RunUntil(deadline, [&] { return mosquitto_want_write(mosq_) == false; });
  mosquitto_disconnect_v5(mosq_, 0, nullptr);
  mosquitto_loop(mosq_, 0, 1);
}

void MqttClient::HandleConnect(int reason) {
  if (reason == 0) {
    connected_ = true;
    return;
  }
  refused_ = true;
  error_ = "the broker " + broker_ + " refused the connection: " + mosquitto_reason_string(reason);
}

void MqttClient::HandleDisconnect(int reason) {
  if (reason == 0 || lost_ || refused_) return;
  lost_ = true;
  // An unasked disconnection comes with the library's error code.
  error_ = "the broker " + broker_ + " closed the connection" +
           (connected_ ? std::string(": ") : std::string(" before accepting it: ")) + mosquitto_strerror(reason);
}

void MqttClient::HandleSubscribe(int mid, int count, const int* granted) {
  if (mid != subscribeMid_) return;
  subscribed_ = true;
  for (int i = 0; i < count; ++i) {
    if (granted[i] >= 128) error_ = std::string("the broker refused the subscription: ") + mosquitto_reason_string(granted[i]);
  }
}

void MqttClient::HandlePublish(int, int reason) {
  if (reason >= 128) error_ = std::string("the broker refused a publication: ") + mosquitto_reason_string(reason);
}

void MqttClient::HandleMessage(const mosquitto_message* message, const mosquitto_property* properties) {
  MqttMessage m;
  m.topic = message->topic ? message->topic : "";
  if (message->payload) m.payload.assign(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
  m.retained = message->retain;
  void* data = nullptr;
  uint16_t length = 0;
  if (mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &data, &length, false)) {
    m.correlation.assign(static_cast<const char*>(data), length);
    free(data);
  }
  if (onMessage) onMessage(m);
}

}  // namespace velkor::ctl
