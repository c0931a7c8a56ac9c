// broker_link.cpp: the libmosquitto connection, its callbacks and the
// retained state it publishes again after every reconnection, and the
// link's thread that connects, serves and retries.
#include "broker_link.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cstring>

namespace velkor::mqtt {
namespace {

constexpr int QOS = 1;
constexpr int LOOP_MS = 1000;  // the library is woken sooner by anything to send

// The library is set up once for the whole process.
struct Library {
  Library() { mosquitto_lib_init(); }
  ~Library() { mosquitto_lib_cleanup(); }
};

void OnConnect(mosquitto*, void* self, int rc, int, const mosquitto_property*) {
  static_cast<BrokerLink*>(self)->HandleConnect(rc);
}

void OnDisconnect(mosquitto*, void* self, int rc, const mosquitto_property*) {
  static_cast<BrokerLink*>(self)->HandleDisconnect(rc);
}

void OnMessage(mosquitto*, void* self, const mosquitto_message* message, const mosquitto_property* properties) {
  Incoming in;
  in.topic = message->topic;
  in.payload.assign(static_cast<const char*>(message->payload), static_cast<size_t>(message->payloadlen));
  in.retained = message->retain;
  char* responseTopic = nullptr;
  if (mosquitto_property_read_string(properties, MQTT_PROP_RESPONSE_TOPIC, &responseTopic, false)) {
    in.responseTopic = responseTopic;
    std::free(responseTopic);
  }
  void* correlation = nullptr;
  uint16_t length = 0;
  if (mosquitto_property_read_binary(properties, MQTT_PROP_CORRELATION_DATA, &correlation, &length, false)) {
    in.correlation.assign(static_cast<const char*>(correlation), length);
    std::free(correlation);
  }
  static_cast<BrokerLink*>(self)->HandleMessage(in);
}

// The library's own errors (a certificate not verified, a refused
// connection) say more than a disconnection's code.
void OnLog(mosquitto*, void* self, int level, const char* text) {
  if (level == MOSQ_LOG_ERR) static_cast<BrokerLink*>(self)->HandleError(text);
}

const char* OrNull(const std::string& text) { return text.empty() ? nullptr : text.c_str(); }

}  // namespace

BrokerLink::BrokerLink(BrokerSettings settings, std::string willTopic, std::vector<std::string> subscriptions,
                       std::function<void(const Incoming&)> onMessage, Log log)
    : settings_(std::move(settings)),
      willTopic_(std::move(willTopic)),
      subscriptions_(std::move(subscriptions)),
      onMessage_(std::move(onMessage)),
      log_(std::move(log)) {
  static Library library;
}

BrokerLink::~BrokerLink() {
  Stop();
  if (mosq_) mosquitto_destroy(mosq_);
}

bool BrokerLink::Start(std::string& error) {
  mosq_ = mosquitto_new(settings_.clientId.c_str(), true, this);
  if (!mosq_) {
    error = std::string("cannot create the MQTT client: ") + std::strerror(errno);
    return false;
  }
  mosquitto_int_option(mosq_, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  mosquitto_connect_v5_callback_set(mosq_, OnConnect);
  mosquitto_disconnect_v5_callback_set(mosq_, OnDisconnect);
  mosquitto_message_v5_callback_set(mosq_, OnMessage);
  mosquitto_log_callback_set(mosq_, OnLog);
  mosquitto_threaded_set(mosq_, true);
  const std::string offline = "offline";
  int rc = mosquitto_will_set_v5(mosq_, willTopic_.c_str(), static_cast<int>(offline.size()), offline.data(), QOS,
                                 true, nullptr);
  if (rc == MOSQ_ERR_SUCCESS && !settings_.user.empty())
    rc = mosquitto_username_pw_set(mosq_, settings_.user.c_str(), settings_.password.c_str());
  if (rc == MOSQ_ERR_SUCCESS && !settings_.plain) {
    rc = mosquitto_tls_set(mosq_, settings_.caFile.c_str(), nullptr, OrNull(settings_.certFile),
                           OrNull(settings_.keyFile), nullptr);
    // The broker's certificate is verified, its name included.
    if (rc == MOSQ_ERR_SUCCESS) rc = mosquitto_tls_opts_set(mosq_, 1, nullptr, nullptr);
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    error = std::string("cannot set up the MQTT client: ") + mosquitto_strerror(rc);
    return false;
  }
  thread_ = std::thread([this] { Run(); });
  return true;
}

// Whatever ends a connection or refuses it (a broker killed in the middle of
// TLS, wrong credentials, nobody listening), the thread tries again with
// back-off; only Stop and a take-over end it.
void BrokerLink::Run() {
  int delay = RECONNECT_FIRST_S;
  while (!stopping_) {
    if (settings_.readCredentials) {
      std::string user = settings_.user, password = settings_.password, error;
      if (settings_.readCredentials(user, password, error))
        mosquitto_username_pw_set(mosq_, user.c_str(), password.c_str());
      else
        HandleError(error);
    }
    const uint64_t before = connections_;
    int rc = mosquitto_connect_async(mosq_, settings_.host.c_str(), settings_.port, settings_.keepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
      HandleError("cannot connect: " + (rc == MOSQ_ERR_ERRNO ? std::string(std::strerror(errno)) : mosquitto_strerror(rc)));
    // After Stop, served until the last state and the disconnection are out.
    while (rc == MOSQ_ERR_SUCCESS && !(stopping_ && !connected_)) rc = mosquitto_loop(mosq_, LOOP_MS, 1);
    connected_ = false;
    if (stopping_ || takenOver_) break;
    if (connections_ != before) delay = RECONNECT_FIRST_S;
    if (!WaitBeforeRetry(delay)) break;
    delay = std::min(delay * 2, RECONNECT_LONGEST_S);
  }
  ended_ = !stopping_;
}

// False when Stop came during the wait.
bool BrokerLink::WaitBeforeRetry(int seconds) {
  std::unique_lock lock(waitMutex_);
  return !wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return stopping_.load(); });
}

void BrokerLink::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(waitMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  mosquitto_disconnect_v5(mosq_, MQTT_RC_NORMAL_DISCONNECTION, nullptr);
  thread_.join();
}

std::string BrokerLink::Where() const { return settings_.host + ":" + std::to_string(settings_.port); }

void BrokerLink::HandleConnect(int rc) {
  if (rc != 0) {
    HandleError(std::string("refused the connection: ") + mosquitto_reason_string(rc) + "; trying again");
    return;
  }
  log_("connected to the broker " + Where());
  for (const std::string& filter : subscriptions_)
    mosquitto_subscribe_v5(mosq_, nullptr, filter.c_str(), QOS, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED | (filter.ends_with("/command/+") ? MQTT_SUB_OPT_SEND_RETAIN_NEVER : 0), nullptr);
  connected_ = true;
  ++connections_;
  lastError_.clear();
  std::lock_guard lock(mutex_);
  for (const auto& [topic, payload] : retained_) PublishNow(topic, payload, true);
}

// Another client connecting with the same id takes the session over; were
// both to retry, they would take it from each other forever.
void BrokerLink::HandleDisconnect(int rc) {
  const bool was = connected_.exchange(false);
  if (rc == MQTT_RC_SESSION_TAKEN_OVER) {
    takenOver_ = true;
    log_("the broker " + Where() + " gave the session to another client with the id " + settings_.clientId +
         "; not reconnecting");
    return;
  }
  if (rc != 0 && was && !stopping_) log_("lost the broker; reconnecting");
}

// Said once until it changes or a connection succeeds: the retries repeat it.
void BrokerLink::HandleError(const std::string& text) {
  if (text == lastError_) return;
  lastError_ = text;
  log_("the broker " + Where() + ": " + text);
}

void BrokerLink::PublishNow(const std::string& topic, const std::string& payload, bool retain) {
  mosquitto_publish_v5(mosq_, nullptr, topic.c_str(), static_cast<int>(payload.size()), payload.data(), QOS, retain,
                       nullptr);
}

void BrokerLink::PublishRetained(const std::string& topic, const std::string& payload) {
  std::lock_guard lock(mutex_);
  auto [entry, added] = retained_.try_emplace(topic, payload);
  if (!added && entry->second == payload) return;
  entry->second = payload;
  if (connected_) PublishNow(topic, payload, true);
}

void BrokerLink::Publish(const std::string& topic, const std::string& payload) {
  if (connected_) PublishNow(topic, payload, false);
}

void BrokerLink::Reply(const Incoming& request, const std::string& payload) {
  if (request.responseTopic.empty() || !connected_) return;
  mosquitto_property* properties = nullptr;
  if (!request.correlation.empty())
    mosquitto_property_add_binary(&properties, MQTT_PROP_CORRELATION_DATA, request.correlation.data(),
                                  static_cast<uint16_t>(request.correlation.size()));
  mosquitto_publish_v5(mosq_, nullptr, request.responseTopic.c_str(), static_cast<int>(payload.size()),
                       payload.data(), QOS, false, properties);
  mosquitto_property_free_all(&properties);
}

}  // namespace velkor::mqtt
