// emulator.h: the VK-3 driver's side of the wire, as a pure object driven by
// the time it is given. Bytes from the panel go in through Receive, the clock
// moves through Advance, and the bytes the driver has put on the line by then
// come out of TakeOutput, never faster than 38400 baud allows. Everything that
// is left to chance draws from one seeded source, so a run repeats exactly.
// Depends on the link's frame codec and codes, and on the rest of sim/.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "codes.h"
#include "command_decoder.h"
#include "frame.h"
#include "motor.h"
#include "parameters.h"
#include "random_source.h"

namespace velkor::sim {

inline constexpr uint32_t LINE_BYTES_PER_SECOND = 3840;  // 38400 baud, 10 bits a byte
inline constexpr uint32_t AUTOTUNE_MS = 200;
inline constexpr uint32_t ALL_LIVE_REPORTS = ((uint32_t{1} << (RPT_POSITION + 1)) - 1) & ~((uint32_t{1} << RPT_PHASE) - 1);

struct EmulatorOptions {
  uint32_t statusPeriodMs = 10;     // status report (23) period
  // Every period opens with a burst of this many live readings (15..22 in turn)
  // closed by the status report; then the line rests until the next period. The
  // rest is what ends the panel's read, right after the status report.
  uint32_t readingsPerStatus = 4;
  // Which live readings the driver sends at all, a bit each (1 << type, types
  // 15..22); the rest it never reports, as a driver with fewer sensors would.
  uint32_t liveReports = ALL_LIVE_REPORTS;
  uint32_t jogTimeoutMs = 300;      // a step or rotation stops without keep-alive for this long
  uint64_t seed = 1;

  // Faults. Byte faults hit both directions; a corrupted byte has one bit flipped.
  double dropByteProbability = 0;
  double corruptByteProbability = 0;
  double ignoreCommandProbability = 0;  // a valid frame is neither acknowledged nor executed
  double wrongAckProbability = 0;       // executed, but acknowledged with a wrong value
  uint32_t ignoreStops = 0;  // the first this many stop actions are neither acknowledged nor carried out
  uint32_t silentAtMs = 0;   // a silent period, counted from the emulator's start...
  uint32_t silentForMs = 0;  // ...lasting this long; 0: none
  uint32_t hangUpAfterMs = 0;  // the pty runner closes its terminal then; 0: never
  // A driver whose output stage takes less than the panel offers: motion,
  // holding and fault currents set above this are stored (and reported) as
  // it, and the set is acknowledged all the same. 0: no limit.
  uint16_t currentLimitMa = 0;

  // Imperfections of the emulated motor; none by default.
  MotorFlaws flaws;

  // Where SaveEeprom keeps the parameters across runs; empty: in memory only.
  std::string eepromPath;

  // Habits of other drivers. A set (or the smoothing toggle) is reported in
  // the driver's own cycle this long after its acknowledgement, with the
  // value it holds then; 0: right after the acknowledgement.
  uint32_t reportDelayMs = 0;
  // Switched off and on this long after start: the parameters come back from
  // the EEPROM, and the driver is silent until woken. 0: never.
  uint32_t powerCycleAtMs = 0;
  // This long after start the line is moved to a second driver, with
  // parameters of its own in RAM and EEPROM, already running and reporting
  // after SWAP_GAP_MS without a word. 0: never.
  uint32_t swapAtMs = 0;
};

// How long the line is dead while it is moved to the second driver, as long
// as a hand needs to move a plug: well past the panel's silence watchdog,
// whose silent ticks each wait out a read's whole timeout.
inline constexpr uint32_t SWAP_GAP_MS = 2000;

// A valid command frame with a known code (1..11), as it arrived; frames with
// other codes are dropped unanswered. `executed` is false for a frame that
// repeats the last acknowledged one (acknowledged again, not run again) and
// for one that the ignore knob swallowed.
struct ReceivedCommand {
  uint8_t seq = 0;
  uint8_t code = 0;
  int16_t value = 0;
  bool executed = false;
  bool operator==(const ReceivedCommand&) const = default;
};

class Emulator {
 public:
  static constexpr size_t MAX_PENDING_FRAMES = 256;  // answers waiting for the line
  static constexpr size_t MAX_UNTAKEN_BYTES = 4096;  // sent bytes nobody took yet
  // The command log keeps at most this many of the latest entries, so that an
  // emulator served for hours stays the size it was after a minute.
  static constexpr size_t MAX_LOGGED_COMMANDS = 4096;

  explicit Emulator(EmulatorOptions options = {});

  // Bytes from the panel, arriving at the present time.
  void Receive(const uint8_t* bytes, size_t count);
  // Moves the clock on; the driver reports, moves the shaft and sends bytes.
  void Advance(uint32_t microseconds);
  // Bytes that have left the driver, oldest first; returns how many.
  size_t TakeOutput(uint8_t* buffer, size_t capacity);
  // When, with nothing more from the panel, the next byte will have left the
  // line (or a tuning ends, which brings reports): the moment TakeOutput next
  // has something new. NOTHING_DUE while the driver waits for the panel alone.
  static constexpr uint64_t NOTHING_DUE = UINT64_MAX;
  uint64_t NextOutputMicroseconds() const;

  // From now on send nothing for this long (frames due meanwhile are lost).
  void StaySilent(uint32_t milliseconds);
  // Switched off and on again: the parameters come back from the EEPROM, the
  // shaft stops, and the driver is silent until it is woken.
  void PowerCycle();
  // The line now leads to another driver, which holds `other` in RAM and
  // EEPROM and reports without being woken.
  void SwapDriver(const Parameters& other);

  // Faults and periods may be changed between calls.
  EmulatorOptions& Options() { return options_; }

  const Parameters& CurrentParameters() const { return parameters_; }
  const Parameters& SavedParameters() const { return eeprom_; }
  const Motor& MotorState() const { return motor_; }
  int16_t Position() const { return LiveReportValue(motor_, RPT_POSITION); }
  bool Moving() const { return motor_.motion != Motion::kIdle; }
  // A step or rotation that the jog safety watches.
  bool Jogging() const { return motor_.motion == Motion::kStep || motor_.motion == Motion::kRotate; }
  bool Reporting() const { return woken_; }
  const std::vector<ReceivedCommand>& CommandLog() const { return log_; }
  // The log so far, which starts again empty: for a watcher that checks it as it goes.
  std::vector<ReceivedCommand> TakeCommandLog() { return std::exchange(log_, {}); }
  uint64_t NowMicroseconds() const { return nowUs_; }
  // Bytes the corruption knob has flipped a bit of, both directions together.
  uint64_t CorruptedBytes() const { return corruptedBytes_; }

 private:
  void ReceiveByte(uint8_t byte);
  void Wake();
  bool LineBusy() const { return wireIndex_ < onWire_.size; }
  void Execute(const CommandFrame& frame);
  void Log(const ReceivedCommand& entry);
  void RunAction(uint16_t action);
  void Answer(uint8_t type, int16_t value);
  void ReportParameter(uint8_t type);
  void AnswerAllParameters();
  bool Silent() const;
  void StartFrameIfIdle();
  void StartFrame(const Frame& frame);
  void FinishByte();
  void ModelStep();
  void SendDueReports();
  void RunScheduledEvents();
  uint8_t Fault(uint8_t byte, bool& dropped);

  EmulatorOptions options_;
  RandomSource faults_;
  RandomSource noise_;
  CommandDecoder decoder_;
  Parameters parameters_;
  Parameters eeprom_;
  Motor motor_;

  uint64_t nowUs_ = 0;
  uint64_t nextModelUs_ = 0;
  bool woken_ = false;
  uint64_t silentUntilUs_ = 0;
  uint64_t nextStatusUs_ = 0;
  uint32_t readingsInBurst_ = 0;  // live readings sent in this period's burst
  Motor sampled_;                 // the motor as this period's burst sampled it
  uint8_t nextReadingType_ = 0;
  uint64_t lastHostUs_ = 0;      // last keep-alive or valid command frame
  uint64_t autotuneDoneUs_ = 0;  // 0: not tuning

  uint32_t stopsIgnored_ = 0;
  bool hasAcknowledged_ = false;
  CommandFrame lastAcknowledged_;
  std::vector<ReceivedCommand> log_;
  uint64_t corruptedBytes_ = 0;

  // The line: answers waiting, the frame on the wire, bytes already sent.
  std::deque<Frame> pendingFrames_;
  Frame onWire_;
  uint8_t wireIndex_ = 0;  // next byte of onWire_; == size: line idle
  uint64_t byteDoneScaled_ = 0;  // when the byte on the wire ends, in µs × LINE_BYTES_PER_SECOND
  std::deque<uint8_t> output_;

  // Reports put off by reportDelayMs: when each is due, and its type.
  std::deque<std::pair<uint64_t, uint8_t>> delayedReports_;
  bool powerCycled_ = false;
  bool swapped_ = false;
};

// The second driver a swapped line leads to: values unlike the factory's.
Parameters SecondDriverParameters();

}  // namespace velkor::sim
