// emulator.cpp: the driver's answers, its reporting schedule, the line's pace
// and the fault knobs.
#include "emulator.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "eeprom_file.h"

namespace velkor::sim {
namespace {

constexpr uint32_t MODEL_STEP_US = 1000;
// Line time is counted in µs × LINE_BYTES_PER_SECOND, where one byte lasts
// exactly a million units: no rounding drift however long the line runs.
constexpr uint64_t BYTE_UNITS = 1'000'000;
constexpr uint32_t LIVE_REPORT_COUNT = RPT_POSITION - RPT_PHASE + 1;
constexpr uint64_t NOISE_SEED_SALT = 0x9E3779B97F4A7C15;

// What the panel checks an acknowledgement against: the value as an unsigned
// 16-bit number, the plain code, the sequence byte and the check byte.
uint8_t AckValue(const CommandFrame& f) {
  return static_cast<uint8_t>(static_cast<uint16_t>(f.value) + f.code + f.seq + f.check);
}

bool SameFrame(const CommandFrame& a, const CommandFrame& b) {
  return a.seq == b.seq && a.code == b.code && a.value == b.value && a.check == b.check;
}

bool IsCommandCode(uint8_t code) { return code >= CMD_ACTION && code <= CMD_SET_FAULT_CURRENT; }

}  // namespace

Emulator::Emulator(EmulatorOptions options)
    : options_(std::move(options)), faults_(options_.seed), noise_(options_.seed ^ NOISE_SEED_SALT) {
  if (!options_.eepromPath.empty()) {
    if (const auto saved = LoadEeprom(options_.eepromPath)) parameters_ = *saved;
  }
  eeprom_ = parameters_;
  nextModelUs_ = MODEL_STEP_US;
}

void Emulator::Receive(const uint8_t* bytes, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    bool dropped = false;
    const uint8_t byte = Fault(bytes[i], dropped);
    if (!dropped) ReceiveByte(byte);
  }
}

void Emulator::ReceiveByte(uint8_t byte) {
  const HostInput input = decoder_.FeedByte(byte);
  switch (input.kind) {
    case HostInputKind::kNothing: break;
    case HostInputKind::kWake: Wake(); break;
    case HostInputKind::kKeepAlive: lastHostUs_ = nowUs_; break;
    case HostInputKind::kCommand: Execute(input.command); break;
  }
}

// The last acknowledged frame is kept across a wake byte. A damaged frame
// whose check byte was 0xFF reads as one, and forgetting there would run the
// repeat of a step a second time. A panel started afresh may therefore see its
// first re-read taken for a repeat; it costs that panel one status period.
void Emulator::Wake() {
  if (woken_) return;
  woken_ = true;
  nextStatusUs_ = nowUs_;
  readingsInBurst_ = 0;
}

void Emulator::Execute(const CommandFrame& frame) {
  lastHostUs_ = nowUs_;
  if (!IsCommandCode(frame.code)) return;
  ReceivedCommand entry{frame.seq, frame.code, frame.value, false};
  const bool stop = frame.code == CMD_ACTION && static_cast<uint16_t>(frame.value) == ACT_STOP;
  if (stop && stopsIgnored_ < options_.ignoreStops) {
    ++stopsIgnored_;
    Log(entry);
    return;
  }
  if (faults_.Chance(options_.ignoreCommandProbability)) {
    Log(entry);
    return;
  }
  // The panel sends the same frame with the same sequence byte again only when
  // it missed the acknowledgement. Running it twice would, for a step, move the
  // shaft twice: acknowledge it again instead.
  const bool repeat = hasAcknowledged_ && SameFrame(frame, lastAcknowledged_);
  entry.executed = !repeat;
  Log(entry);

  uint8_t ack = AckValue(frame);
  if (faults_.Chance(options_.wrongAckProbability)) ack = static_cast<uint8_t>(ack + 1 + faults_.Below(255));
  const bool reread = frame.code == CMD_ACTION && static_cast<uint16_t>(frame.value) == ACT_REREAD;
  // The panel takes a greeting only before any other handshake report.
  if (reread && !repeat) Answer(RPT_GREETING, GREETING_VALUE);
  Answer(RPT_ACK, ack);
  hasAcknowledged_ = true;
  lastAcknowledged_ = frame;
  if (repeat) return;

  if (frame.code == CMD_ACTION) {
    RunAction(static_cast<uint16_t>(frame.value));
  } else {
    ApplyParameterCommand(parameters_, frame.code, frame.value);
    ClampCurrent(parameters_, frame.code, options_.currentLimitMa);
    ReportParameter(*ReportForCommand(frame.code));
  }
}

void Emulator::ReportParameter(uint8_t type) {
  if (options_.reportDelayMs == 0) {
    Answer(type, ParameterReportValue(parameters_, type));
  } else {
    delayedReports_.emplace_back(nowUs_ + uint64_t{options_.reportDelayMs} * 1000, type);
  }
}

// The value goes out as it is when the report is due.
void Emulator::SendDueReports() {
  while (!delayedReports_.empty() && delayedReports_.front().first <= nowUs_) {
    const uint8_t type = delayedReports_.front().second;
    delayedReports_.pop_front();
    Answer(type, ParameterReportValue(parameters_, type));
  }
}

void Emulator::RunScheduledEvents() {
  if (options_.powerCycleAtMs != 0 && !powerCycled_ && nowUs_ >= uint64_t{options_.powerCycleAtMs} * 1000) {
    powerCycled_ = true;
    PowerCycle();
  }
  if (options_.swapAtMs != 0 && !swapped_ && nowUs_ >= uint64_t{options_.swapAtMs} * 1000) {
    swapped_ = true;
    SwapDriver(SecondDriverParameters());
  }
}

Parameters SecondDriverParameters() {
  Parameters p;
  p.steps = 400;
  p.jogSpeed = 90;
  p.levelingK = 4;
  p.proportionalK = 45;
  p.stepDivision = 20;
  p.motionCurrent = 1800;
  p.holdingCurrent = 900;
  p.faultCurrent = 6000;
  return p;
}

// The oldest half goes at once, so each entry is moved at most once on average.
void Emulator::Log(const ReceivedCommand& entry) {
  if (log_.size() >= MAX_LOGGED_COMMANDS) log_.erase(log_.begin(), log_.begin() + MAX_LOGGED_COMMANDS / 2);
  log_.push_back(entry);
}

void Emulator::RunAction(uint16_t action) {
  switch (action) {
    case ACT_REREAD: AnswerAllParameters(); break;
    case ACT_SAVE_EEPROM:
      eeprom_ = parameters_;
      if (!options_.eepromPath.empty()) SaveEeprom(options_.eepromPath, eeprom_);
      break;
    case ACT_AUTOTUNE:
      // Tuning measures the winding at standstill.
      StopMotor(motor_, nowUs_);
      autotuneDoneUs_ = nowUs_ + uint64_t{AUTOTUNE_MS} * 1000;
      break;
    case ACT_TOGGLE_SMOOTHING:
      parameters_.smoothing = !parameters_.smoothing;
      ReportParameter(RPT_KL_SMOOTHING);
      break;
    case ACT_TEST: StartTest(motor_, parameters_); break;
    case ACT_STEP_LEFT: StartStepMove(motor_, -1, parameters_.steps); break;
    case ACT_STEP_RIGHT: StartStepMove(motor_, 1, parameters_.steps); break;
    case ACT_ROTATE_LEFT: StartRotation(motor_, -1); break;
    case ACT_ROTATE_RIGHT: StartRotation(motor_, 1); break;
    case ACT_STOP: StopMotor(motor_, nowUs_); break;
    case ACT_ZERO_POSITION: motor_.position = 0; break;
    default: break;  // acknowledged, but the driver knows no such action
  }
}

void Emulator::Answer(uint8_t type, int16_t value) {
  if (pendingFrames_.size() < MAX_PENDING_FRAMES) pendingFrames_.push_back(EncodeReportFrame(type, value));
}

void Emulator::AnswerAllParameters() {
  for (uint8_t type = RPT_STEPS; type <= RPT_FAULT_CURRENT; ++type)
    Answer(type, ParameterReportValue(parameters_, type));
}

bool Emulator::Silent() const {
  const uint64_t from = uint64_t{options_.silentAtMs} * 1000;
  const uint64_t until = from + uint64_t{options_.silentForMs} * 1000;
  return nowUs_ < silentUntilUs_ || (nowUs_ >= from && nowUs_ < until);
}

void Emulator::StaySilent(uint32_t milliseconds) { silentUntilUs_ = nowUs_ + uint64_t{milliseconds} * 1000; }

void Emulator::PowerCycle() {
  parameters_ = eeprom_;
  motor_ = Motor{};
  motor_.restSinceUs = nowUs_;
  woken_ = false;
  autotuneDoneUs_ = 0;
  hasAcknowledged_ = false;
  decoder_.Restart();
  pendingFrames_.clear();
  delayedReports_.clear();
  wireIndex_ = onWire_.size;  // the frame on the wire is cut off
}

// A driver that was running all along: it never saw this panel's frames, and
// reports on its own once the line is back.
void Emulator::SwapDriver(const Parameters& other) {
  PowerCycle();
  parameters_ = other;
  eeprom_ = other;
  StaySilent(SWAP_GAP_MS);
  woken_ = true;
  nextStatusUs_ = silentUntilUs_;
  readingsInBurst_ = 0;
}

// Picks what goes on the line once it is free: answers to commands first, so
// that a re-read's twelve frames all go out before the next status report;
// then, once a period is due, its burst of live readings and the status report.
void Emulator::StartFrameIfIdle() {
  if (LineBusy()) return;
  const uint64_t statusPeriodUs = uint64_t{std::max(1u, options_.statusPeriodMs)} * 1000;
  if (Silent()) {
    pendingFrames_.clear();
    if (woken_) {
      while (nextStatusUs_ <= nowUs_) nextStatusUs_ += statusPeriodUs;
      readingsInBurst_ = 0;
    }
    return;
  }
  SendDueReports();
  if (!pendingFrames_.empty()) {
    StartFrame(pendingFrames_.front());
    pendingFrames_.pop_front();
    return;
  }
  if (!woken_ || nowUs_ < nextStatusUs_) return;
  if (readingsInBurst_ < options_.readingsPerStatus && (options_.liveReports & ALL_LIVE_REPORTS) != 0) {
    uint8_t type = 0;
    do {
      type = static_cast<uint8_t>(RPT_PHASE + nextReadingType_);
      nextReadingType_ = static_cast<uint8_t>((nextReadingType_ + 1) % LIVE_REPORT_COUNT);
    } while ((options_.liveReports & (uint32_t{1} << type)) == 0);
    // A burst's readings are sampled together at its start, as a driver
    // latches them: at speed, a set current and the measured one sent a few
    // frames later still belong to one moment.
    if (readingsInBurst_ == 0) sampled_ = motor_;
    StartFrame(EncodeReportFrame(type, LiveReportValue(sampled_, type)));
    ++readingsInBurst_;
    return;
  }
  StartFrame(EncodeReportFrame(RPT_STATUS, static_cast<int16_t>(std::lround(motor_.speedRpm))));
  readingsInBurst_ = 0;
  // Keep to the period's grid; a burst held back by answers does not shift the next.
  nextStatusUs_ += statusPeriodUs;
  if (nextStatusUs_ <= nowUs_) nextStatusUs_ = nowUs_ + statusPeriodUs;
}

void Emulator::StartFrame(const Frame& frame) {
  onWire_ = frame;
  wireIndex_ = 0;
  byteDoneScaled_ = std::max(byteDoneScaled_, nowUs_ * LINE_BYTES_PER_SECOND) + BYTE_UNITS;
}

void Emulator::FinishByte() {
  bool dropped = false;
  const uint8_t byte = Fault(onWire_.bytes[wireIndex_++], dropped);
  if (!dropped && output_.size() < MAX_UNTAKEN_BYTES) output_.push_back(byte);
  if (LineBusy()) byteDoneScaled_ += BYTE_UNITS;
}

uint8_t Emulator::Fault(uint8_t byte, bool& dropped) {
  dropped = faults_.Chance(options_.dropByteProbability);
  if (faults_.Chance(options_.corruptByteProbability)) {
    byte ^= static_cast<uint8_t>(1u << faults_.Below(8));
    ++corruptedBytes_;
  }
  return byte;
}

void Emulator::ModelStep() {
  RunScheduledEvents();
  MoveMotor(motor_, parameters_, MODEL_STEP_US, nowUs_, noise_, options_.flaws);
  if (Jogging() && nowUs_ - lastHostUs_ > uint64_t{options_.jogTimeoutMs} * 1000) StopMotor(motor_, nowUs_);
  if (autotuneDoneUs_ != 0 && nowUs_ >= autotuneDoneUs_) {
    const TunedCoefficients tuned = TuneCurrentRegulation(noise_);
    parameters_.proportionalK = tuned.proportionalK;
    parameters_.levelingK = tuned.levelingK;
    autotuneDoneUs_ = 0;
    Answer(RPT_KL_SMOOTHING, ParameterReportValue(parameters_, RPT_KL_SMOOTHING));
    Answer(RPT_KP, ParameterReportValue(parameters_, RPT_KP));
  }
}

void Emulator::Advance(uint32_t microseconds) {
  const uint64_t end = nowUs_ + microseconds;
  for (;;) {
    StartFrameIfIdle();
    if (nowUs_ >= end) break;
    uint64_t next = std::min(end, nextModelUs_);
    if (LineBusy()) {
      const uint64_t byteDoneUs = (byteDoneScaled_ + LINE_BYTES_PER_SECOND - 1) / LINE_BYTES_PER_SECOND;
      next = std::min(next, byteDoneUs);
    } else if (woken_) {
      next = std::min(next, nextStatusUs_);
    }
    // Due reports were queued by StartFrameIfIdle while the line was idle.
    if (!LineBusy() && !delayedReports_.empty()) next = std::min(next, delayedReports_.front().first);
    nowUs_ = next;
    if (LineBusy() && byteDoneScaled_ <= nowUs_ * LINE_BYTES_PER_SECOND) FinishByte();
    if (nowUs_ >= nextModelUs_) {
      ModelStep();
      nextModelUs_ += MODEL_STEP_US;
    }
  }
}

uint64_t Emulator::NextOutputMicroseconds() const {
  uint64_t due = NOTHING_DUE;
  if (LineBusy()) {
    due = (byteDoneScaled_ + LINE_BYTES_PER_SECOND - 1) / LINE_BYTES_PER_SECOND;
  } else if (woken_) {
    due = nextStatusUs_ + (BYTE_UNITS + LINE_BYTES_PER_SECOND - 1) / LINE_BYTES_PER_SECOND;
  }
  if (autotuneDoneUs_ != 0) due = std::min(due, autotuneDoneUs_);
  if (!delayedReports_.empty()) due = std::min(due, delayedReports_.front().first);
  return due;
}

size_t Emulator::TakeOutput(uint8_t* buffer, size_t capacity) {
  const size_t count = std::min(capacity, output_.size());
  std::copy_n(output_.begin(), count, buffer);
  output_.erase(output_.begin(), output_.begin() + static_cast<std::ptrdiff_t>(count));
  return count;
}

}  // namespace velkor::sim
