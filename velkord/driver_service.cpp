// driver_service.cpp: a driver's thread: connecting and reconnecting, the
// tick, the published state, and the remote commands.
#include "driver_service.h"

#include <cstdio>
#include <ctime>

#include "codes.h"
#include "apply_journal.h"
#include "commands.h"
#include "driver_identity.h"
#include "interruption.h"
#include "json_string.h"
#include "make_port.h"
#include "parameter_commands.h"
#include "readings.h"
#include "topic_tree.h"
#include "version.h"

namespace velkor::daemon {
namespace {

using std::chrono::milliseconds;

// How often the params are compared with what was last published.
constexpr double PARAMS_EVERY_S = 0.1;
// How long a motion's asker is given for its presence to arrive: a client
// publishes it just before its command.
constexpr milliseconds PRESENCE_WAIT{1000};
constexpr milliseconds IDLE_ROUND{50};

const char* StateWord(const ParameterState& s) {
  if (!s.known) return "unknown";
  if (Pending(s)) return "pending";
  if (s.failure == RequestFailure::Unconfirmed) return "unconfirmed";
  if (s.mismatch) return "mismatch";
  return "confirmed";
}

// What a command wrote through the session, its speaker taken off each line.
std::string Messages(const std::string& text, const std::string& speaker) {
  std::string joined;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.rfind(speaker + ": ", 0) == 0) line = line.substr(speaker.size() + 2);
    if (!line.empty()) joined += (joined.empty() ? "" : "; ") + line;
    start = end + 1;
  }
  return joined;
}

// A stream that gathers what is written into a string.
class Capture {
 public:
  Capture() : file_(open_memstream(&buffer_, &size_)) {}
  ~Capture() {
    if (file_) std::fclose(file_);
    std::free(buffer_);
  }
  std::FILE* File() { return file_ ? file_ : stderr; }
  std::string Take() {
    if (!file_) return {};
    std::fflush(file_);
    return std::string(buffer_, size_);
  }

 private:
  char* buffer_ = nullptr;
  size_t size_ = 0;
  std::FILE* file_;
};

}  // namespace

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[96];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
  return text;
}

std::string ParamsJson(const Link& link, const std::string& time) {
  std::string values;
  std::string states;
  for (size_t i = 0; i < PARAMETER_STATE_COUNT; ++i) {
    const ParameterState& s = link.parameters.parameters[i];
    const ParameterId id = static_cast<ParameterId>(i);
    const std::string name = JsonString(ParameterName(id));
    values += (values.empty() ? "" : ",") + name + ":" + (s.known ? ParameterJson(id, s.value) : "null");
    states += (states.empty() ? "" : ",") + name + ":{\"state\":\"" + StateWord(s) +
              "\",\"unsaved\":" + (s.known && Unsaved(s) ? "true" : "false") + "}";
  }
  return std::string("{") + (time.empty() ? "" : "\"time\":" + JsonString(time) + ",") + "\"parameters\":{" +
         values + "},\"states\":{" + states + "}}";
}

DriverService::DriverService(const DriverConfig& driver, const DaemonConfig& config, mqtt::BrokerLink& broker,
                             ClientPresence& presence)
    : driver_(driver),
      config_(config),
      broker_(broker),
      presence_(presence),
      root_(mqtt::HostRoot(config.site, config.host)),
      identity_(DriverIdentity(driver.port)),
      journal_(config.stateDirectory + "/journal.jsonl", "velkord"),
      session_(driver.port, stderr, "velkord: " + driver.name),
      heartbeat_(SteadySeconds()) {
  metrics.driver = driver.name;
  session_.link.listeners.push_back(this);
  tracker_.WatchBadFrames(&session_.link.state.decoder.badFrames);
  session_.link.listeners.push_back(&tracker_);
}

DriverService::~DriverService() { Join(); }

void DriverService::Start() {
  thread_ = std::thread([this] { Run(); });
}

void DriverService::Join() {
  if (thread_.joinable()) thread_.join();
}

void DriverService::Enqueue(const mqtt::Incoming& command, const std::string& name) {
  std::lock_guard lock(queueMutex_);
  queue_.push_back({command, name, ctl::Clock::now()});
}

std::string DriverService::Topic(std::string_view leaf) const { return mqtt::DriverTopic(root_, driver_.name, leaf); }

void DriverService::Run() {
  PublishInfo();
  PublishLink("connecting", "");
  milliseconds pause = REOPEN_PERIOD;
  while (!ctl::Interrupted()) {
    heartbeat_ = SteadySeconds();
    if (!session_.PortOpen()) {
      if (!Connect()) {
        AwaitReopen(pause);
        if (KindOfPort(driver_.port) == PortKind::Network) pause = std::min(2 * pause, REOPEN_LONGEST_PERIOD);
        continue;
      }
      pause = REOPEN_PERIOD;
    } else {
      session_.Tick();
    }
    const bool connected = session_.link.state.readyWord == READY_CONNECTED && session_.PortOpen();
    if (connected != linkConnected_) {
      linkConnected_ = connected;
      {
        std::lock_guard lock(metrics.mutex);
        metrics.figures.up = connected;
        if (connected && everConnected_) ++metrics.figures.reconnects;
      }
      if (connected) {
        everConnected_ = true;
        lastFailure_.clear();
        PublishLink("connected", "");
        PublishEvent("connected", "\"port\":" + JsonString(driver_.port));
      } else {
        const std::string reason = session_.ResetReason();
        std::fprintf(stderr, "velkord: %s: link lost: %s\n", driver_.name.c_str(), reason.c_str());
        PublishLink("lost", reason);
        PublishEvent("lost", "\"reason\":" + JsonString(reason));
      }
    }
    PublishParams(false);
    KeepSnapshotWhenDue();
    ServeCommands(connected);
  }
  // Whatever ended the service, no jog outlives it.
  if (session_.link.state.jogActive) session_.StopMotor(ctl::STOP_AFTER_INTERRUPTION);
  PublishLink("closed", "velkord stopped");
}

// Opens the port once; a failure is logged when it says something new.
bool DriverService::Connect() {
  Capture messages;
  session_.SetMessages(messages.File());
  const bool connected = session_.Connect(config_.timeout);
  session_.SetMessages(stderr);
  const std::string text = Messages(messages.Take(), "velkord: " + driver_.name);
  if (!text.empty() && text != lastFailure_) {
    std::fprintf(stderr, "velkord: %s: %s\n", driver_.name.c_str(), text.c_str());
    // A driver that was there is lost until it is back; one never seen is awaited.
    PublishLink(everConnected_ ? "lost" : "connecting", text);
  }
  lastFailure_ = text;
  return connected || session_.PortOpen();
}

void DriverService::AwaitReopen(milliseconds pause) {
  const auto until = ctl::Clock::now() + pause;
  while (ctl::Clock::now() < until && !ctl::Interrupted()) {
    heartbeat_ = SteadySeconds();
    ServeCommands(false);
    std::this_thread::sleep_for(IDLE_ROUND);
  }
}

void DriverService::ServeCommands(bool connected) {
  for (;;) {
    Queued next;
    {
      std::lock_guard lock(queueMutex_);
      if (queue_.empty()) return;
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    if (connected) {
      Execute(next);
      continue;
    }
    // What the link topic says: why the port did not open, or why the link was lost.
    const std::string reason = lastFailure_.empty() ? session_.ResetReason() : lastFailure_;
    broker_.Reply(next.message, ReplyJson(ctl::EXIT_FAILED, nullptr, "the driver is not connected: " + reason));
    NoteResult(ctl::EXIT_FAILED);
  }
}

void DriverService::Execute(const Queued& queued) {
  auto parsed = ParseRemoteCommand(queued.command, queued.message.payload,
                                   {config_.remoteMotion, config_.maxRotation, config_.timeout});
  if (const auto* refusal = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "velkord: %s: refused %s: %s\n", driver_.name.c_str(), queued.command.c_str(),
                 refusal->c_str());
    broker_.Reply(queued.message, ReplyJson(ctl::EXIT_USAGE, nullptr, *refusal));
    NoteResult(ctl::EXIT_USAGE);
    return;
  }
  RemoteRequest& request = std::get<RemoteRequest>(parsed);
  if (request.askerWaits && ctl::Clock::now() > queued.arrived + *request.askerWaits) {
    char waited[32];
    std::snprintf(waited, sizeof waited, "%g s", std::chrono::duration<double>(*request.askerWaits).count());
    const std::string late =
        std::string("the asker stopped waiting after ") + waited + ", before the command could start; it was not run";
    std::fprintf(stderr, "velkord: %s: %s from %s: %s\n", driver_.name.c_str(), queued.command.c_str(),
                 request.client.empty() ? "an unnamed client" : request.client.c_str(), late.c_str());
    broker_.Reply(queued.message, ReplyJson(ctl::EXIT_FAILED, nullptr, late));
    NoteResult(ctl::EXIT_FAILED);
    return;
  }
  Capture messages;
  session_.SetMessages(messages.File());
  std::string show;
  ProfileApply apply;
  bool applied = false;
  const int status = RunRemote(request, show, apply, applied);
  session_.SetMessages(stderr);
  const std::string text = Messages(messages.Take(), "velkord: " + driver_.name);
  std::fprintf(stderr, "velkord: %s: %s from %s ended with %d%s%s\n", driver_.name.c_str(), queued.command.c_str(),
               request.client.empty() ? "an unnamed client" : request.client.c_str(), status,
               text.empty() ? "" : ": ", text.c_str());
  broker_.Reply(queued.message, ReplyJson(status, applied ? &apply : nullptr, text, show));
  NoteResult(status);
  if (applied) NoteApply(apply, request);
  PublishParams(true);
}

int DriverService::RunRemote(RemoteRequest& request, std::string& show, ProfileApply& apply, bool& applied) {
  const ctl::Invocation& inv = request.invocation;
  Capture out;
  if (inv.command == ctl::Command::Set || inv.command == ctl::Command::ProfileApply) {
    const Profile profile = inv.command == ctl::Command::Set ? ctl::ProfileOf(inv.assignments) : request.profile;
    applied = true;
    return ctl::ApplyProfile(session_, profile, inv.save, inv.timeout, out.File(), &apply);
  }
  if (!request.motion) {
    const uint32_t saves = session_.link.parameters.actionsAcknowledged[ACT_SAVE_EEPROM];
    const int status = ctl::RunConnected(inv, request.profile, session_, out.File());
    if (inv.command == ctl::Command::Show) show = out.Take();
    while (!show.empty() && show.back() == '\n') show.pop_back();
    const bool saved = session_.link.parameters.actionsAcknowledged[ACT_SAVE_EEPROM] != saves;
    if (saved) PublishEvent("saved", "\"by\":" + JsonString(request.client));
    if (inv.command == ctl::Command::Action && inv.action == ACT_SAVE_EEPROM)
      Record({SaveJournalEntry({request.client, driver_.name, driver_.port, identity_}, saved)});
    return status;
  }
  if (!AwaitPresence(request.client)) {
    session_.Say("the client's presence topic " + mqtt::PresenceTopic(request.client) +
                 " does not say online: a motion needs it, to stop when the client goes away");
    return ctl::EXIT_USAGE;
  }
  const std::string client = request.client;
  const auto gone = [&] { return presence_.Of(client) == Presence::Offline; };
  // Without the broker the client's presence can no longer be seen.
  const auto unseen = [&] { return !broker_.Connected(); };
  std::vector<StopAsked> stops;
  session_.cancelled = [&] { return gone() || unseen() || ServeDuringMotion(stops); };
  const uint32_t stopsBefore = session_.link.parameters.actionsAcknowledged[ACT_STOP];
  std::fprintf(stderr, "velkord: %s: a motion for %s started\n", driver_.name.c_str(), client.c_str());
  PublishEvent("motion", "\"action\":\"start\",\"by\":" + JsonString(client));
  const int status = ctl::RunConnected(inv, request.profile, session_, out.File());
  session_.cancelled = nullptr;
  const bool left = gone();
  const bool lostBroker = !left && unseen();
  const std::string reason = left ? "client offline" : lostBroker ? "broker lost" : !stops.empty() ? "stopped" : "ended";
  if (left) session_.Say("the client " + client + " went offline; the motor was stopped");
  if (lostBroker) {
    session_.Say("the broker was lost, and with it the client's presence; the motor was stopped");
    std::fprintf(stderr, "velkord: %s: lost the broker during a motion for %s; the motor was stopped\n",
                 driver_.name.c_str(), client.c_str());
  }
  // A motion cut short whose command sent no stop (a step, the test) is stopped here.
  const auto acknowledged = [&] { return session_.link.parameters.actionsAcknowledged[ACT_STOP] != stopsBefore; };
  if ((left || lostBroker || !stops.empty()) && !acknowledged()) session_.StopMotor(config_.timeout);
  const bool stopped = acknowledged();
  for (const StopAsked& stop : stops) {
    const std::string by = stop.client.empty() ? "an unnamed client" : stop.client;
    session_.Say("stopped by " + by);
    std::fprintf(stderr, "velkord: %s: stop from %s ended the motion for %s%s\n", driver_.name.c_str(), by.c_str(),
                 client.c_str(), stopped ? "" : ", but the driver did not acknowledge the stop");
    broker_.Reply(stop.message, ReplyJson(stopped ? ctl::EXIT_DONE : ctl::EXIT_FAILED, nullptr,
                                          stopped ? "the motion was stopped" : "the driver did not acknowledge the stop"));
    NoteResult(stopped ? ctl::EXIT_DONE : ctl::EXIT_FAILED);
  }
  PublishEvent("motion", std::string("\"action\":\"end\",\"by\":") + JsonString(client) +
                             ",\"reason\":" + JsonString(reason));
  return status;
}

// The commands that arrive during a motion are not kept waiting behind it:
// a stop ends it (answered once the motor has stopped), show is answered
// from the link as it stands, anything else is refused. True once a stop came.
bool DriverService::ServeDuringMotion(std::vector<StopAsked>& stops) {
  for (;;) {
    Queued next;
    {
      std::lock_guard lock(queueMutex_);
      if (queue_.empty()) return !stops.empty();
      next = std::move(queue_.front());
      queue_.pop_front();
    }
    auto parsed = ParseRemoteCommand(next.command, next.message.payload,
                                     {config_.remoteMotion, config_.maxRotation, config_.timeout});
    const auto* request = std::get_if<RemoteRequest>(&parsed);
    const ctl::Invocation* inv = request ? &request->invocation : nullptr;
    if (inv && inv->command == ctl::Command::Action && inv->action == ACT_STOP) {
      stops.push_back({std::move(next.message), request->client});
      continue;
    }
    std::string reply;
    int status = ctl::EXIT_USAGE;
    if (!request) {
      reply = ReplyJson(status, nullptr, std::get<std::string>(parsed));
    } else if (inv->command == ctl::Command::Show) {
      std::string show = ctl::ShowJson(session_.PortName(), session_.link);
      while (!show.empty() && show.back() == '\n') show.pop_back();
      status = ctl::EXIT_DONE;
      reply = ReplyJson(status, nullptr, "", show);
    } else {
      reply = ReplyJson(status, nullptr, "a motion is running; stop it first");
      std::fprintf(stderr, "velkord: %s: refused %s from %s: a motion is running\n", driver_.name.c_str(),
                   next.command.c_str(), request->client.empty() ? "an unnamed client" : request->client.c_str());
    }
    broker_.Reply(next.message, reply);
    NoteResult(status);
  }
}

bool DriverService::AwaitPresence(const std::string& client) {
  session_.TickUntil(ctl::Clock::now() + PRESENCE_WAIT, [&] { return presence_.Of(client) != Presence::Unknown; });
  return presence_.Of(client) == Presence::Online;
}

void DriverService::NoteApply(const ProfileApply& apply, const RemoteRequest& request) {
  const std::string by = ",\"by\":" + JsonString(request.client);
  for (const ApplyRow& row : Rows(apply)) {
    if (!row.commandQueued) continue;
    const bool reported = row.status == ApplyRowStatus::Confirmed || row.status == ApplyRowStatus::Mismatch;
    PublishEvent("changed", "\"parameter\":" + JsonString(ParameterName(row.id)) +
                                ",\"old\":" + ParameterJson(row.id, row.driverBefore) +
                                ",\"new\":" + (reported ? ParameterJson(row.id, row.reported) : "null") +
                                ",\"requested\":" + ParameterJson(row.id, row.profileValue) + ",\"confirmed\":" +
                                (row.status == ApplyRowStatus::Confirmed ? "true" : "false") + by);
  }
  if (request.invocation.command == ctl::Command::ProfileApply) {
    const bool confirmed = apply.outcome == ApplyOutcome::Confirmed || apply.outcome == ApplyOutcome::Saved ||
                           apply.outcome == ApplyOutcome::NothingToDo;
    PublishEvent("profile", std::string("\"confirmed\":") + (confirmed ? "true" : "false") + by);
  }
  if (apply.outcome == ApplyOutcome::Saved) PublishEvent("saved", by.substr(1));
  const bool profile = request.invocation.command == ctl::Command::ProfileApply;
  Record(ApplyJournalEntries(apply, session_.link, {request.client, driver_.name, driver_.port, identity_},
                             profile ? "sent by " + (request.client.empty() ? "an unnamed client" : request.client)
                                     : ""));
}

void DriverService::Record(const std::vector<JournalEntry>& entries) {
  for (const JournalEntry& entry : entries)
    if (const auto error = journal_.Append(entry))
      std::fprintf(stderr, "velkord: %s: the journal: %s\n", driver_.name.c_str(), error->c_str());
}

void DriverService::KeepSnapshotWhenDue() {
  if (!SnapshotDue(snapshots_, session_.link.parameters)) return;
  const SnapshotKept kept = KeepSnapshot(config_.stateDirectory, identity_, driver_.port, session_.link.parameters,
                                         std::chrono::system_clock::now());
  if (!kept.error.empty()) std::fprintf(stderr, "velkord: %s: %s\n", driver_.name.c_str(), kept.error.c_str());
}

void DriverService::NoteResult(int exitStatus) {
  const char* result = CommandResult(exitStatus);
  std::lock_guard lock(metrics.mutex);
  for (size_t i = 0; i < COMMAND_RESULTS.size(); ++i)
    if (COMMAND_RESULTS[i] == result) ++metrics.figures.commands[i];
}

void DriverService::PublishInfo() {
  broker_.PublishRetained(
      Topic("info"), "{\"driver\":" + JsonString(driver_.name) + ",\"device\":\"VK-3\",\"port\":" +
                         JsonString(driver_.port) + ",\"identity\":" + JsonString(identity_) +
                         ",\"program\":\"velkord\",\"version\":" + JsonString(VERSION) +
                         ",\"host\":" + JsonString(config_.host) + ",\"site\":" + JsonString(config_.site) + "}");
}

void DriverService::PublishLink(const char* state, const std::string& reason) {
  broker_.PublishRetained(Topic("link"), std::string("{\"state\":\"") + state + "\",\"since\":" +
                                             JsonString(UtcNow()) + ",\"reason\":" +
                                             (reason.empty() ? "null" : JsonString(reason)) + "}");
}

// Published when something in it changed, the time aside.
void DriverService::PublishParams(bool force) {
  const double now = SteadySeconds();
  if (!force && now - lastParams_ < PARAMS_EVERY_S) return;
  lastParams_ = now;
  std::string body = ParamsJson(session_.link, "");
  if (body == paramsBody_) return;
  paramsBody_ = std::move(body);
  broker_.PublishRetained(Topic("params"), ParamsJson(session_.link, UtcNow()));
}

void DriverService::PublishEvent(const std::string& event, const std::string& fields) {
  broker_.Publish(Topic("events"), "{\"time\":" + JsonString(UtcNow()) + ",\"event\":" + JsonString(event) +
                                       (fields.empty() ? "" : "," + fields) + "}");
}

void DriverService::OnReport(uint8_t type, int16_t, double time) {
  heartbeat_ = SteadySeconds();
  const PanelValues& v = session_.link.values;
  readings_.Add(type, v);
  if (readingsFrom_ == 0) readingsFrom_ = time;
  const double interval = std::chrono::duration<double>(config_.readingsInterval).count();
  if (time - readingsFrom_ >= interval) {
    readingsFrom_ = time;
    if (!readings_.Empty()) {
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", interval);
      broker_.Publish(Topic("readings"), "{\"time\":" + JsonString(UtcNow()) + ",\"interval_s\":" + seconds +
                                             ",\"readings\":" + readings_.TakeJson() + "}");
    }
  }
  UpdateFigures(true, time);
}

void DriverService::OnLinkReset(double time) {
  readings_.Clear();
  readingsFrom_ = time;
  UpdateFigures(false, time);
}

// The tracker's figures cost a pass over its window: taken once a second.
void DriverService::UpdateFigures(bool report, double time) {
  const PanelValues& v = session_.link.values;
  const auto known = [&](LiveReading reading, double scale) -> std::optional<double> {
    const LiveReadingInfo& info = LIVE_READINGS[Index(reading)];
    if (!Reported(v, info)) return std::nullopt;
    return info.read(v) * scale;
  };
  constexpr double AMPERES_PER_MA = 0.001;
  std::lock_guard lock(metrics.mutex);
  DriverFigures& f = metrics.figures;
  if (report) ++f.reports;
  f.checkErrors = session_.link.state.decoder.badFrames;
  f.setCurrentAmperes = {known(LiveReading::SetCurrentA, AMPERES_PER_MA), known(LiveReading::SetCurrentB, AMPERES_PER_MA)};
  f.actualCurrentAmperes = {known(LiveReading::ActualCurrentA, AMPERES_PER_MA),
                            known(LiveReading::ActualCurrentB, AMPERES_PER_MA)};
  f.pwm = {known(LiveReading::PwmA, 1), known(LiveReading::PwmB, 1)};
  if (time - trackedAt_ < TRACKING_REFRESH_SECONDS) return;
  trackedAt_ = time;
  const analysis::TrackerFigures tracked = tracker_.Figures(time);
  for (size_t w = 0; w < analysis::WINDING_COUNT; ++w) {
    const analysis::TrackingFigures& all = tracked.windings[w].all;
    f.trackingErrorAmperes[w] = all.rmsErrorMa ? std::optional(*all.rmsErrorMa * AMPERES_PER_MA) : std::nullopt;
    f.trackingReadings[w] = all.basis.readings;
  }
}

}  // namespace velkor::daemon
