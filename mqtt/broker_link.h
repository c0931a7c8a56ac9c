// broker_link.h: one MQTT 5 connection to the broker through libmosquitto,
// run by the library's own thread: TLS against a CA (client certificate
// optional) or, only when asked, plain; a user name and password; a retained
// will; reconnection with back-off after any loss or refusal, whatever the
// error (the credentials read again before each try). The one end without
// retry is a take-over: another client with the same id (another velkord
// serving the same site and host) took the session. Every retained message
// published is remembered and published again after each reconnection, with
// the subscriptions, so a broker that restarted empty learns the state anew.
// Messages arrive on the link's own thread. Depends on libmosquitto.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
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
  // Reads the user and password again before each connection attempt; empty
  // when they are fixed. False with the reason in `error`: the last ones are kept.
  std::function<bool(std::string& user, std::string& password, std::string& error)> readCredentials;
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

  // Sets the connection up and starts connecting on the link's thread. False,
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
  // True once the link's thread has ended without Stop: the session was
  // taken over by another client with the same id.
  bool Ended() const { return ended_; }
  uint64_t Connections() const { return connections_; }

  // The library's callbacks, on the link's thread.
  void HandleConnect(int rc);
  void HandleDisconnect(int rc);
  void HandleError(const std::string& text);
  void HandleMessage(const Incoming& message) { onMessage_(message); }

 private:
  void PublishNow(const std::string& topic, const std::string& payload, bool retain);
  void Run();
  bool WaitBeforeRetry(int seconds);
  std::string Where() const;

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
  std::string lastError_;  // on the link's thread only
  std::atomic<bool> stopping_ = false;
  std::atomic<bool> takenOver_ = false;
  std::atomic<bool> ended_ = false;
  std::mutex waitMutex_;
  std::condition_variable wake_;
  std::thread thread_;
};

}  // namespace velkor::mqtt
