// command_queue.h: the ring of (code, value) pairs that the panel's handlers push
// and the link controller sends one at a time. Fixed 256 slots, no allocation.
#pragma once

#include <cstddef>
#include <cstdint>

namespace velkor {

struct QueuedCommand {
  uint8_t code = 0;
  uint16_t value = 0;
};

struct CommandQueue {
  static constexpr size_t SLOTS = 256;
  static constexpr size_t CAPACITY = SLOTS - 1;  // equal indexes mean empty

  uint8_t codes[SLOTS] = {};
  uint16_t values[SLOTS] = {};
  uint8_t writeIndex = 0;
  uint8_t readIndex = 0;
};

// Appends the pair; returns false and changes nothing when 255 are pending.
[[nodiscard]] bool QueuePush(CommandQueue& queue, uint8_t code, uint16_t value);
// Puts the pair before every other, to go out next; false when 255 are pending.
[[nodiscard]] bool QueuePushFront(CommandQueue& queue, uint8_t code, uint16_t value);
// Turns the oldest pending `from` into `to` where it waits; false when none waits.
bool QueueReplace(CommandQueue& queue, QueuedCommand from, QueuedCommand to);
// Takes the oldest pair. Only called when QueueNotEmpty.
QueuedCommand QueuePop(CommandQueue& queue);
bool QueueNotEmpty(const CommandQueue& queue);
void QueueClear(CommandQueue& queue);

}  // namespace velkor
