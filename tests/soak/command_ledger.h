// command_ledger.h: the fate of every numbered command a scripted operator
// queues, seen from both ends of the wire. The panel's side is read from the
// link's own state at the moments the link hands control out (each read, each
// write, each refresh); the driver's side from the emulator's command log,
// matched against the frames the panel wrote. Its memory stays bounded, so
// that a long soak measures the panel's, not its own.
// Depends on the link controller and the emulator's log entries.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "emulator.h"
#include "link_controller.h"

namespace velkor::test {

// Numbered commands carry 1..NUMBER_SPAN on the wire, round and round.
inline constexpr int NUMBER_SPAN = 30000;
int16_t WireValue(int number);

class CommandLedger {
 public:
  // `code` marks the numbered commands; `others` are the only other
  // (code, value) pairs the panel may send: the operator's and the re-read.
  CommandLedger(uint8_t code, std::set<std::pair<uint8_t, int16_t>> others) : code_(code), others_(std::move(others)) {}

  void Queued(int number) { waiting_.push_back(number); ++queued_; }
  bool Outstanding() const { return inFlight_ || !waiting_.empty(); }
  size_t OutstandingCount() const { return waiting_.size() + (inFlight_ ? 1 : 0); }

  // At every point where the link hands control out. `status` is the status
  // line as the link holds it then.
  void Observe(const LinkState& state, std::string_view status);
  // After each tick, when the window would paint what the tick left.
  void TickEnded(std::string_view status);
  // A frame the panel writes: never one whose command has been settled, and
  // never one that nobody queued.
  void Written(const uint8_t* bytes, size_t count);
  // Entries the emulator logged since the last call, in arrival order.
  void Received(const std::vector<sim::ReceivedCommand>& entries);

  // Checks that need the whole run: every command settled exactly once, and
  // every acknowledged one carried out by the driver.
  void CheckSettled();

  int queued() const { return queued_; }
  int acknowledged() const { return acknowledgedCount_; }
  int discarded() const { return discardedCount_; }
  int resets() const { return resets_; }
  int resetsBySendFailure() const { return resetsBySendFailure_; }
  // Resets whose text was replaced within the tick, so never painted.
  int resetTextsNeverShown() const { return resetTextsNeverShown_; }
  // Frames the driver took that the panel never wrote: bit flips that cancel
  // out in the check byte's sum. Each ran as a command.
  int undetectedCorruptions() const { return undetectedCorruptions_; }
  // Commands the driver ran a second time because such a frame came between
  // the first run and the retransmission (its repeat guard knows one frame).
  int rerunAfterCorruption() const { return rerunAfterCorruption_; }
  // Acknowledged commands the driver never ran, at most one for each corrupted
  // frame it took: such a frame's acknowledgement can pass for the real one's.
  int unrunAfterCorruption() const { return unrunAfterCorruption_; }
  const std::vector<std::string>& faults() const { return faults_; }

 private:
  struct WireCommand {
    uint8_t seq;
    uint8_t code;
    int16_t value;
  };

  void Fault(std::string what);
  void Settle(int number, bool acknowledged);
  bool Settled(int number) const;
  // Forgets what lies this far behind the commands still moving.
  void Prune(int below);

  uint8_t code_;
  std::set<std::pair<uint8_t, int16_t>> others_;
  std::deque<int> waiting_;     // queued, not yet popped, oldest first
  std::optional<int> inFlight_;
  std::set<int> acknowledged_;  // from forgottenBelow_ on
  std::set<int> discarded_;
  int forgottenBelow_ = 0;      // every number below is settled
  std::string_view lastStatus_;
  bool wasConnected_ = false;
  int queued_ = 0;
  int acknowledgedCount_ = 0;
  int discardedCount_ = 0;
  int resets_ = 0;
  int resetsBySendFailure_ = 0;
  int resetTextsNeverShown_ = 0;
  std::string_view resetText_;  // the text of a reset in the current tick

  std::deque<WireCommand> written_;  // written, not yet matched by the driver
  int lastReceived_ = 0;             // the driver's view: latest number seen
  uint64_t receipts_ = 0;
  uint64_t lastCorruptionAt_ = 0;     // receipt index, 0: none yet
  std::map<int, uint64_t> executed_;  // number -> receipt index of its run
  int undetectedCorruptions_ = 0;
  int rerunAfterCorruption_ = 0;
  int unrunAfterCorruption_ = 0;
  std::vector<std::string> faults_;
};

}  // namespace velkor::test
