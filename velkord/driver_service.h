// driver_service.h: one driver as velkord serves it, on a thread of its own:
// its port opened as velkorctl opens one (locks, network ports, the same
// messages) and opened again after a loss, with back-off; its state
// published on the broker (retained info, link and params; readings over
// each interval; events); the remote commands run one at a time with
// velkorctl's own commands and verification, each answered to its asker,
// none started once its asker has stopped waiting; during a remote motion a
// stop ends it at once, show is answered and anything else refused; a remote
// motion stopped when its client's presence says offline or the broker is
// lost, and any jog stopped before the thread ends. Every change, save and profile apply goes
// to the journal, with the asking client, and the driver's parameters are
// kept as a snapshot on every connection. Depends on velkorctl's session and
// commands, the journal, the broker link, the topic tree and the metrics.
#pragma once

#include <atomic>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "broker_link.h"
#include "client_presence.h"
#include "current_tracker.h"
#include "daemon_config.h"
#include "driver_metrics.h"
#include "driver_snapshots.h"
#include "journal.h"
#include "readings_window.h"
#include "remote_command.h"
#include "report_listener.h"
#include "session.h"

namespace velkor::daemon {

// As the panel waits for a lost port: a device every half second, a network
// port after a failed open twice as long each time, up to eight seconds.
inline constexpr std::chrono::milliseconds REOPEN_PERIOD{500};
inline constexpr std::chrono::milliseconds REOPEN_LONGEST_PERIOD{8000};
// How often the metrics' tracking error is taken from the tracker.
inline constexpr double TRACKING_REFRESH_SECONDS = 1.0;

class DriverService : public ReportListener {
 public:
  DriverService(const DriverConfig& driver, const DaemonConfig& config, mqtt::BrokerLink& broker,
                ClientPresence& presence);
  ~DriverService() override;
  DriverService(const DriverService&) = delete;
  DriverService& operator=(const DriverService&) = delete;

  void Start();
  // Waits for the thread, which ends once velkord is interrupted.
  void Join();
  // A command for this driver, from the broker's thread.
  void Enqueue(const mqtt::Incoming& command, const std::string& name);
  // The steady clock's seconds when the thread last showed it is alive.
  double Heartbeat() const { return heartbeat_; }
  const std::string& Name() const { return driver_.name; }
  DriverMetrics metrics;

  void OnReport(uint8_t type, int16_t value, double time) override;
  void OnLinkReset(double time) override;

 private:
  struct Queued {
    mqtt::Incoming message;
    std::string command;
    ctl::Clock::time_point arrived;
  };
  void Run();
  bool Connect();
  void AwaitReopen(std::chrono::milliseconds pause);
  void ServeCommands(bool connected);
  void Execute(const Queued& queued);
  int RunRemote(RemoteRequest& request, std::string& show, ProfileApply& apply, bool& applied);
  bool AwaitPresence(const std::string& client);
  struct StopAsked {
    mqtt::Incoming message;
    std::string client;
  };
  bool ServeDuringMotion(std::vector<StopAsked>& stops);
  void NoteApply(const ProfileApply& apply, const RemoteRequest& request);
  void NoteResult(int exitStatus);
  void Record(const std::vector<JournalEntry>& entries);
  void KeepSnapshotWhenDue();
  void PublishLink(const char* state, const std::string& reason);
  void PublishParams(bool force);
  void PublishInfo();
  void PublishEvent(const std::string& event, const std::string& fields);
  void UpdateFigures(bool report, double time);
  std::string Topic(std::string_view leaf) const;

  DriverConfig driver_;
  const DaemonConfig& config_;
  mqtt::BrokerLink& broker_;
  ClientPresence& presence_;
  std::string root_;
  std::string identity_;
  Journal journal_;
  SnapshotWatch snapshots_;
  ctl::Session session_;
  ReadingsWindow readings_;
  analysis::CurrentTracker tracker_;
  double trackedAt_ = 0;  // when the tracker's figures were last taken
  double readingsFrom_ = 0;
  double lastParams_ = 0;
  std::string paramsBody_;
  bool linkConnected_ = false;
  bool everConnected_ = false;
  std::string lastFailure_;
  std::mutex queueMutex_;
  std::deque<Queued> queue_;
  std::atomic<double> heartbeat_;
  std::thread thread_;
};

// The link's retained params: {"time","parameters":{name: value or null},
// "states":{name:{"state","unsaved"}}}; without the time when `time` is empty.
std::string ParamsJson(const Link& link, const std::string& time);

// ISO 8601 UTC to the millisecond.
std::string UtcNow();

}  // namespace velkor::daemon
