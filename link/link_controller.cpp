// link_controller.cpp: the poll cycle, report dispatch, command sending and reset.
#include "link_controller.h"

#include <chrono>
#include <cstdlib>

#include "codes.h"

namespace velkor {
namespace {

constexpr uint8_t SMOOTHING_BIT = 0x10;
constexpr int32_t KL_MASK = 0x0F;

// Halving by arithmetic shift: rounds towards minus infinity.
constexpr int32_t Halve(int32_t x) { return x >> 1; }

void UpdateTotalCurrent(PanelValues& v) {
  v.totalCurrent = Halve(v.totalCurrent + std::abs(int32_t{v.actualCurrentA}) + std::abs(int32_t{v.actualCurrentB}));
}

uint8_t ExpectedAck(const LinkState& s) {
  return static_cast<uint8_t>(s.pendingValue + s.pendingCode + s.seq + s.lastCheck);
}

// The status report is the driver's invitation to talk: at most one thing goes out.
void StatusStep(Link& link) {
  LinkState& s = link.state;
  if (s.readyWord == READY_HANDSHAKE_DONE) {
    s.readyWord = READY_CONNECTED;
    link.values.statusText = STATUS_CONNECTED;
  }
  if (s.readyWord != READY_CONNECTED) {
    // Ask for the greeting and all parameters again, and wait for them.
    SendCommand(link, CMD_ACTION, ACT_REREAD);
    ResetLink(link);
    return;
  }
  if (s.pendingCode != 0) {
    // Every status report of one read left the driver before it could have
    // seen what we sent in that read: the command goes again once a read.
    if (s.pendingSentInRead) return;
    s.pendingSentInRead = s.reading;
    SendCommand(link, s.pendingCode, static_cast<int16_t>(s.pendingValue));
  } else if (QueueNotEmpty(link.queue)) {
    const QueuedCommand next = QueuePop(link.queue);
    s.pendingCode = next.code;
    s.pendingValue = next.value;
    NoteSent(link.parameters, next.code, next.value);
    s.pendingSentInRead = s.reading;
    SendCommand(link, s.pendingCode, static_cast<int16_t>(s.pendingValue));
  } else if (s.jogActive) {
    s.port->Write(&KEEP_ALIVE_BYTE, 1);
  }
}

}  // namespace

int64_t SystemSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

uint8_t NextSeq(uint8_t seq) { return seq >= 19 ? 10 : static_cast<uint8_t>(seq + 1); }

void DispatchReport(Link& link, uint8_t type, int16_t v) {
  LinkState& s = link.state;
  PanelValues& p = link.values;
  if (type >= RPT_ACK && type <= RPT_FAULT_CURRENT) s.readyWord |= static_cast<uint16_t>(1u << type);
  NoteReport(link.parameters, type, v);  // parameter reports only
  if (type >= RPT_PHASE && type <= RPT_STATUS) p.liveReports |= uint32_t{1} << type;
  switch (type) {
    case RPT_GREETING:
      if (v == GREETING_VALUE && s.readyWord == READY_NONE) s.readyWord = 1;
      break;
    case RPT_ACK:
      if (v == ExpectedAck(s)) {
        NoteAcknowledged(link.parameters, s.pendingCode, s.pendingValue);
        p.statusText = STATUS_DONE;
        s.pendingCode = 0;
        s.pendingSentInRead = false;
        s.seq = NextSeq(s.seq);
        s.retries = 0;
      }
      break;
    case RPT_STEPS: p.steps = v; break;
    case RPT_JOG_SPEED: p.jogSpeed = v; break;
    case RPT_JOG_ACCEL: p.jogAccel = v; break;
    case RPT_KL_SMOOTHING:
      p.levelingK = v & KL_MASK;
      p.smoothingCaption = (v & SMOOTHING_BIT) ? SMOOTHING_ON : SMOOTHING_OFF;
      break;
    case RPT_KP: p.proportionalK = v; break;
    case RPT_DIVISION: p.stepDivision = v; break;
    case RPT_MOTION_CURRENT: p.motionCurrent = v; break;
    // The delay is set up to 60000 ms and travels as a negative number:
    // read it back as the unsigned quantity it is.
    case RPT_REDUCTION_DELAY: p.reductionDelay = static_cast<uint16_t>(v); break;
    case RPT_HOLDING_CURRENT: p.holdingCurrent = v; break;
    case RPT_FAULT_CURRENT: p.faultCurrent = v; break;
    case RPT_PHASE: p.phase = v; break;
    case RPT_SET_CURRENT_A: p.setCurrentA = v; break;
    case RPT_SET_CURRENT_B: p.setCurrentB = v; break;
    case RPT_PWM_A: p.pwmA = v; break;
    case RPT_PWM_B: p.pwmB = v; break;
    case RPT_ACTUAL_CURRENT_A: p.actualCurrentA = v; UpdateTotalCurrent(p); break;
    case RPT_ACTUAL_CURRENT_B: p.actualCurrentB = v; UpdateTotalCurrent(p); break;
    case RPT_POSITION: p.position = v; break;
    case RPT_STATUS:
      p.shaftSpeed = Halve(p.shaftSpeed + v);
      StatusStep(link);
      break;
    default: break;  // 12..14 and 24..63 only keep the link alive
  }
}

void SendCommand(Link& link, uint8_t code, int16_t value) {
  LinkState& s = link.state;
  const Frame frame = EncodeCommandFrame(s.seq, code, value);
  s.lastCheck = frame.check;
  s.port->Write(frame.bytes, frame.size);
  if (++s.retries > MAX_SENDS) {
    link.values.statusText = STATUS_SEND_FAILED;
    s.drop = LinkDrop::NotAcknowledged;
    ResetLink(link);
  } else {
    link.values.statusText = STATUS_SENDING;
  }
  link.window->RefreshPanel();
}

void ResetLink(Link& link) {
  LinkState& s = link.state;
  s.pendingCode = 0;
  s.pendingSentInRead = false;
  s.retries = 0;
  s.silentTicks = 0;
  s.readyWord = READY_NONE;
  s.decoder.Restart();
  s.seq = NextSeq(s.seq);
  QueueClear(link.queue);
  s.jogActive = false;
  link.values.liveReports = 0;
  NoteReset(link.parameters);
  if (!link.listeners.empty()) {
    const double now = link.steadyClock();
    for (ReportListener* listener : link.listeners) listener->OnLinkReset(now);
  }
}

void LoseDriver(Link& link) {
  ForgetDriver(link.parameters, true);
  link.driverPort.clear();
}

bool PushCommand(Link& link, uint8_t code, uint16_t value) {
  if (!QueuePush(link.queue, code, value)) return false;
  link.parameters.now = link.clock();
  NoteQueued(link.parameters, code, value);
  return true;
}

bool PushCommandFirst(Link& link, uint8_t code, uint16_t value) {
  if (!QueuePushFront(link.queue, code, value)) return false;
  link.parameters.now = link.clock();
  NoteQueued(link.parameters, code, value);
  return true;
}

void BeginPollTick(Link& link) {
  LinkState& s = link.state;
  link.parameters.now = link.clock();
  if (s.readyWord != READY_NONE && ++s.silentTicks > MAX_SILENT_TICKS) {
    ResetLink(link);
    LoseDriver(link);
    link.values.statusText = STATUS_LINK_LOST;
    s.drop = LinkDrop::Silent;
  }
}

void EndPollTick(Link& link, size_t count, size_t bytesAfter) {
  LinkState& s = link.state;
  const double readTime = link.listeners.empty() ? 0.0 : link.steadyClock();
  s.reading = true;
  s.pendingSentInRead = false;
  for (size_t i = 0; i < count; ++i) {
    if (const auto report = s.decoder.FeedByte(s.receiveBuffer[i])) {
      s.silentTicks = 0;
      DispatchReport(link, report->type, report->value);
      const double time = readTime - static_cast<double>(count - 1 - i + bytesAfter) * BYTE_SECONDS;
      for (ReportListener* listener : link.listeners) listener->OnReport(report->type, report->value, time);
    }
  }
  s.reading = false;
  s.pendingSentInRead = false;
  link.window->RefreshPanel();
}

void PollTick(Link& link) {
  BeginPollTick(link);
  EndPollTick(link, link.state.port->Read(link.state.receiveBuffer, RECEIVE_BUFFER_SIZE));
}

}  // namespace velkor
