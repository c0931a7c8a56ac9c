// command_ledger.cpp: settling numbered commands and checking both ends agree.
#include "command_ledger.h"

#include "command_decoder.h"
#include "status_texts.h"

namespace velkor::test {
namespace {

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

void CommandLedger::Discard(int number) {
  if (acknowledged_.count(number) || !discarded_.insert(number).second)
    Fault("command " + std::to_string(number) + " settled twice");
}

void CommandLedger::Observe(const LinkState& state, std::string_view status) {
  // "Команда выполнена" appears only when an acknowledgement is accepted, and
  // between two observations at most the command then in flight can be.
  if (status == STATUS_DONE && lastStatus_ != STATUS_DONE && inFlight_) {
    acknowledged_.insert(*inFlight_);
    inFlight_.reset();
  }
  const bool connected = state.readyWord == READY_CONNECTED;
  if (wasConnected_ && !connected) {
    ++resets_;
    if (status == STATUS_SEND_FAILED) ++resetsBySendFailure_;
    if (status != STATUS_SEND_FAILED && status != STATUS_LINK_LOST)
      Fault("a reset discarded commands under the status \"" + std::string(status) + "\"");
    resetText_ = status;
    if (inFlight_) Discard(*inFlight_);
    for (int number : waiting_) Discard(number);
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
  if (input.command.code != code_) {
    if (!others_.count({input.command.code, input.command.value}))
      Fault("the panel sent code " + std::to_string(input.command.code) + " value " +
            std::to_string(input.command.value) + ", which nobody queued");
    return;
  }
  const int number = NumberOf(input.command.value, inFlight_ ? *inFlight_ : queued_);
  if (acknowledged_.count(number) || discarded_.count(number))
    Fault("command " + std::to_string(number) + " written again after it was settled");
}

void CommandLedger::Received(const std::vector<sim::ReceivedCommand>& entries) {
  for (const sim::ReceivedCommand& entry : entries) {
    if (entry.code != code_) continue;
    const int number = NumberOf(entry.value, lastReceived_);
    if (number < lastReceived_)
      Fault("the driver received " + std::to_string(number) + " after " + std::to_string(lastReceived_));
    lastReceived_ = number;
    if (entry.executed && !executed_.insert(number).second)
      Fault("the driver carried out " + std::to_string(number) + " twice");
  }
}

void CommandLedger::CheckSettled() {
  if (Outstanding()) Fault(std::to_string(OutstandingCount()) + " commands never settled");
  if (static_cast<size_t>(queued_) != acknowledged_.size() + discarded_.size())
    Fault("queued " + std::to_string(queued_) + " but settled " +
          std::to_string(acknowledged_.size() + discarded_.size()));
  for (int number : acknowledged_)
    if (!executed_.count(number)) Fault("command " + std::to_string(number) + " acknowledged but never carried out");
}

}  // namespace velkor::test
