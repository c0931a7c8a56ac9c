// tick_allocation_test.cpp: the poll cycle allocates nothing, whatever it
// receives and sends: counted by replacing the global operator new.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include "codes.h"
#include "link_controller.h"

namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
  ++allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace velkor {
namespace {

// Plays a fixed byte stream back in chunks and counts what is written, in
// fixed storage.
class FixedPort : public Port {
 public:
  std::array<uint8_t, 4096> stream{};
  size_t length = 0, offset = 0, written = 0;

  void Append(const Frame& f) {
    for (uint8_t i = 0; i < f.size; ++i) stream[length++] = f.bytes[i];
  }
  size_t Read(uint8_t* buffer, size_t capacity) override {
    size_t n = 0;
    while (n < capacity && n < 37 && offset < length) buffer[n++] = stream[offset++];
    return n;
  }
  void Write(const uint8_t*, size_t count) override { written += count; }
};

class NullWindow : public PanelWindow {
 public:
  void RefreshPanel() override {}
  void ReadPanel() override {}
  void StartTick() override {}
  void StopTick() override {}
  void ShowMessage(std::string_view) override {}
  void Beep() override {}
};

TEST(TickAllocation, HandshakeCommandsJogAndResetsAllocateNothing) {
  Link link;
  FixedPort port;
  NullWindow window;
  link.state.port = &port;
  link.window = &window;
  ResetLink(link);

  port.Append(EncodeReportFrame(RPT_STATUS, 0));
  // The handshake request goes out with seq 1; the reset then makes it 2.
  const Frame request = EncodeCommandFrame(1, CMD_ACTION, ACT_REREAD);
  port.Append(EncodeReportFrame(RPT_GREETING, GREETING_VALUE));
  port.Append(EncodeReportFrame(RPT_ACK, static_cast<int16_t>(2 + request.check)));
  for (uint8_t t = RPT_STEPS; t <= RPT_FAULT_CURRENT; ++t) port.Append(EncodeReportFrame(t, 9));
  port.Append(EncodeReportFrame(RPT_STATUS, 100));
  for (int i = 0; i < 40; ++i) {
    port.Append(EncodeReportFrame(RPT_KL_SMOOTHING, 0x13));
    port.Append(EncodeReportFrame(RPT_ACTUAL_CURRENT_A, static_cast<int16_t>(-i * 10)));
    port.Append(EncodeReportFrame(RPT_STATUS, 100));
  }
  ASSERT_TRUE(QueuePush(link.queue, CMD_SET_MOTION_CURRENT, 1500));

  const long before = allocations.load();
  while (port.offset < port.length) {
    link.state.jogActive = true;
    PollTick(link);
  }
  for (int i = 0; i < 10; ++i) PollTick(link);  // silence: the watchdog resets the link
  EXPECT_EQ(allocations.load() - before, 0);
  EXPECT_EQ(link.values.statusText, STATUS_LINK_LOST);
  EXPECT_GT(port.written, 40u);
}

}  // namespace
}  // namespace velkor
