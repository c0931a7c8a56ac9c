// command_ledger.cpp: settling numbered commands and checking both ends agree.
#include "command_ledger.h"

#include <algorithm>

#include "command_decoder.h"
#include "status_texts.h"

namespace velkor::test {
namespace {

// Settled commands this far behind the ones still moving are forgotten.
constexpr int MEMORY = 1000;

// The number nearest to `near` that goes on the wire as `value`.
int NumberOf(int16_t value, int near) {
  int number = value;
  while (number + NUMBER_SPAN / 2 < near) number += NUMBER_SPAN;
  return number;
}

}  // namespace

int16_t WireValue(int number) { return static_cast<int16_t>(1 + (number - 1) % NUMBER_SPAN); }

void CommandLedger::Fault(std::string what) {
  if (faults_.size() < 20) faults_.push_back(std::move(what));
}

bool CommandLedger::Settled(int number) const {
  return number < forgottenBelow_ || acknowledged_.count(number) || discarded_.count(number);
}

void CommandLedger::Settle(int number, bool acknowledged) {
  if (Settled(number)) {
    Fault("command " + std::to_string(number) + " settled twice");
    return;
  }
  (acknowledged ? acknowledged_ : discarded_).insert(number);
  ++(acknowledged ? acknowledgedCount_ : discardedCount_);
}

void CommandLedger::Observe(const LinkState& state, std::string_view status) {
  // "Команда выполнена" appears only when an acknowledgement is accepted, and
  // between two observations at most the command then in flight can be.
  if (status == STATUS_DONE && lastStatus_ != STATUS_DONE && inFlight_) {
    Settle(*inFlight_, true);
    inFlight_.reset();
  }
  const bool connected = state.readyWord == READY_CONNECTED;
  if (wasConnected_ && !connected) {
    ++resets_;
    if (status == STATUS_SEND_FAILED) ++resetsBySendFailure_;
    if (status != STATUS_SEND_FAILED && status != STATUS_LINK_LOST)
      Fault("a reset discarded commands under the status \"" + std::string(status) + "\"");
    resetText_ = status;
    if (inFlight_) Settle(*inFlight_, false);
    for (int number : waiting_) Settle(number, false);
    inFlight_.reset();
    waiting_.clear();
  }
  if (connected && state.pendingCode == code_) {
    const int number = NumberOf(static_cast<int16_t>(state.pendingValue), inFlight_ ? *inFlight_ : queued_);
    if (inFlight_ != number) {
      if (inFlight_) Fault("command " + std::to_string(*inFlight_) + " left the flight unsettled");
      if (waiting_.empty() || waiting_.front() != number) {
        Fault("command " + std::to_string(number) + " went out of queue order");
      } else {
        waiting_.pop_front();
      }
      inFlight_ = number;
    }
  }
  wasConnected_ = connected;
  lastStatus_ = status;
}

void CommandLedger::TickEnded(std::string_view status) {
  if (!resetText_.empty() && status != resetText_) ++resetTextsNeverShown_;
  resetText_ = {};
}

void CommandLedger::Written(const uint8_t* bytes, size_t count) {
  sim::CommandDecoder decoder;
  sim::HostInput input;
  for (size_t i = 0; i < count; ++i) input = decoder.FeedByte(bytes[i]);
  if (input.kind != sim::HostInputKind::kCommand) return;
  const sim::CommandFrame& c = input.command;
  written_.push_back({c.seq, c.code, c.value});
  if (c.code != code_) {
    if (!others_.count({c.code, c.value}))
      Fault("the panel sent code " + std::to_string(c.code) + " value " + std::to_string(c.value) +
            ", which nobody queued");
    return;
  }
  const int number = NumberOf(c.value, inFlight_ ? *inFlight_ : queued_);
  if (Settled(number)) Fault("command " + std::to_string(number) + " written again after it was settled");
}

void CommandLedger::Received(const std::vector<sim::ReceivedCommand>& entries) {
  for (const sim::ReceivedCommand& entry : entries) {
    ++receipts_;
    // The driver takes frames in the order the panel wrote them, some lost on
    // the way; a frame the panel never wrote is noise that passed the check.
    const auto match = std::find_if(written_.begin(), written_.end(), [&](const WireCommand& w) {
      return w.seq == entry.seq && w.code == entry.code && w.value == entry.value;
    });
    if (match == written_.end()) {
      ++undetectedCorruptions_;
      lastCorruptionAt_ = receipts_;
      continue;
    }
    written_.erase(written_.begin(), match + 1);
    if (entry.code != code_) continue;
    const int number = NumberOf(entry.value, lastReceived_);
    if (number < lastReceived_)
      Fault("the driver received " + std::to_string(number) + " after " + std::to_string(lastReceived_));
    lastReceived_ = number;
    if (!entry.executed) continue;
    const auto [run, first] = executed_.emplace(number, receipts_);
    if (first) continue;
    if (lastCorruptionAt_ > run->second) {
      ++rerunAfterCorruption_;
    } else {
      Fault("the driver carried out " + std::to_string(number) + " twice");
    }
  }
  const int oldestMoving = inFlight_ ? *inFlight_ : !waiting_.empty() ? waiting_.front() : queued_ + 1;
  Prune(std::min(oldestMoving, lastReceived_) - MEMORY);
}

void CommandLedger::Prune(int below) {
  if (below <= forgottenBelow_) return;
  for (auto n = acknowledged_.begin(); n != acknowledged_.end() && *n < below; n = acknowledged_.erase(n)) {
    if (executed_.count(*n)) continue;
    if (unrunAfterCorruption_ < undetectedCorruptions_) ++unrunAfterCorruption_;
    else Fault("command " + std::to_string(*n) + " acknowledged but never carried out");
  }
  discarded_.erase(discarded_.begin(), discarded_.lower_bound(below));
  executed_.erase(executed_.begin(), executed_.lower_bound(below));
  forgottenBelow_ = below;
}

void CommandLedger::CheckSettled() {
  if (Outstanding()) Fault(std::to_string(OutstandingCount()) + " commands never settled");
  if (queued_ != acknowledgedCount_ + discardedCount_)
    Fault("queued " + std::to_string(queued_) + " but settled " + std::to_string(acknowledgedCount_ + discardedCount_));
  Prune(queued_ + 1);
}

}  // namespace velkor::test
