// command_queue.cpp: the 256-slot ring. Indexes are 8 bits and wrap by themselves.
#include "command_queue.h"

namespace velkor {

bool QueuePush(CommandQueue& queue, uint8_t code, uint16_t value) {
  const uint8_t next = static_cast<uint8_t>(queue.writeIndex + 1);
  // Catching up with the read index would make 255 pending commands read as
  // none at all; the newest is refused instead.
  if (next == queue.readIndex) return false;
  queue.codes[queue.writeIndex] = code;
  queue.values[queue.writeIndex] = value;
  queue.writeIndex = next;
  return true;
}

bool QueuePushFront(CommandQueue& queue, uint8_t code, uint16_t value) {
  const uint8_t before = static_cast<uint8_t>(queue.readIndex - 1);
  if (before == queue.writeIndex) return false;
  queue.codes[before] = code;
  queue.values[before] = value;
  queue.readIndex = before;
  return true;
}

bool QueueReplace(CommandQueue& queue, QueuedCommand from, QueuedCommand to) {
  for (uint8_t i = queue.readIndex; i != queue.writeIndex; ++i) {
    if (queue.codes[i] != from.code || queue.values[i] != from.value) continue;
    queue.codes[i] = to.code;
    queue.values[i] = to.value;
    return true;
  }
  return false;
}

QueuedCommand QueuePop(CommandQueue& queue) {
  const QueuedCommand command{queue.codes[queue.readIndex], queue.values[queue.readIndex]};
  ++queue.readIndex;
  return command;
}

bool QueueNotEmpty(const CommandQueue& queue) { return queue.writeIndex != queue.readIndex; }

void QueueClear(CommandQueue& queue) { queue.writeIndex = queue.readIndex; }

}  // namespace velkor
