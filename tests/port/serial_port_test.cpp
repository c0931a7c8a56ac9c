// serial_port_test.cpp: the termios port against a pseudo-terminal: the line
// settings the terminal ends up with, bytes both ways, the read timing, the
// exclusive open and what a failure says.
#include "serial_port.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <numeric>

#include "pty_peer.h"

namespace velkor::test {
namespace {

using std::chrono::milliseconds;

// What the port setup does to a freshly opened port, minus the link.
void OpenConfigured(SerialPort& port, const std::string& path) {
  ASSERT_TRUE(port.Open(path)) << port.LastErrorText();
  port.Purge();
  ASSERT_TRUE(port.SetLineSettings()) << port.LastErrorText();
  ASSERT_TRUE(port.SetTimeouts(DRIVER_TIMEOUTS)) << port.LastErrorText();
  ASSERT_TRUE(port.RaiseDtr()) << port.LastErrorText();
  ASSERT_TRUE(port.LowerRts()) << port.LastErrorText();
}

std::vector<uint8_t> Iota(size_t count, uint8_t first = 0) {
  std::vector<uint8_t> bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

// Reads until `count` bytes have come, at most `reads` times.
std::vector<uint8_t> ReadUpTo(SerialPort& port, size_t count, int reads = 20) {
  std::vector<uint8_t> bytes;
  uint8_t buffer[120];
  while (bytes.size() < count && reads-- > 0) {
    const size_t n = port.Read(buffer, std::min(sizeof buffer, count - bytes.size()));
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  return bytes;
}

struct TimedRead {
  std::vector<uint8_t> bytes;
  Clock::time_point start, end;
  milliseconds Took() const { return std::chrono::duration_cast<milliseconds>(end - start); }
};

TimedRead ReadOnce(SerialPort& port, size_t capacity = 120) {
  TimedRead r;
  uint8_t buffer[120];
  r.start = Clock::now();
  const size_t n = port.Read(buffer, capacity);
  r.end = Clock::now();
  r.bytes.assign(buffer, buffer + n);
  return r;
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override { OpenConfigured(port, peer.TerminalPath()); }
  PtyPeer peer;
  SerialPort port;
};

TEST(SerialPortSetup, TheTerminalReadsBack38400Baud8N1RawWithoutFlowControl) {
  PtyPeer peer;
  // Start from a cooked terminal, as a port left behind by a shell would be.
  termios cooked{};
  ASSERT_EQ(tcgetattr(peer.TerminalFd(), &cooked), 0);
  cooked.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP | INLCR | BRKINT | PARMRK | IUCLC;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  cooked.c_cflag |= CSTOPB | CRTSCTS;
  cfsetispeed(&cooked, B9600);
  cfsetospeed(&cooked, B9600);
  ASSERT_EQ(tcsetattr(peer.TerminalFd(), TCSANOW, &cooked), 0);

  SerialPort port;
  OpenConfigured(port, peer.TerminalPath());

  termios t{};
  ASSERT_EQ(tcgetattr(peer.TerminalFd(), &t), 0);
  EXPECT_EQ(cfgetispeed(&t), B38400);
  EXPECT_EQ(cfgetospeed(&t), B38400);
  EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t{CS8});
  EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_cflag & (CLOCAL | CREAD), tcflag_t{CLOCAL | CREAD});
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF | IXANY | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | BRKINT | PARMRK), 0u);
  EXPECT_EQ(t.c_oflag & OPOST, 0u);
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ECHONL | ISIG | IEXTEN), 0u);
  EXPECT_EQ(port.LastError(), PortError::None);
}

TEST_F(SerialPortTest, EveryByteValuePassesBothWaysUnchanged) {
  const std::vector<uint8_t> all = Iota(256);
  peer.Send(all);
  EXPECT_EQ(ReadUpTo(port, all.size()), all);

  port.Write(all.data(), all.size());
  EXPECT_EQ(peer.Receive(all.size()), all);
}

TEST_F(SerialPortTest, AFullBufferReturnsAtOnceAndLeavesTheRestForTheNextRead) {
  peer.Send(Iota(125));
  const TimedRead full = ReadOnce(port);
  EXPECT_EQ(full.bytes, Iota(120));
  EXPECT_LT(full.Took(), milliseconds(100));  // it did not sit out the 170 ms
  EXPECT_EQ(ReadOnce(port).bytes, Iota(5, 120));
}

TEST_F(SerialPortTest, AShortBurstEndsTheReadTwoMillisecondsAfterItsLastByte) {
  peer.Play({{milliseconds(30), Iota(10)}});
  const TimedRead burst = ReadOnce(port);
  const Clock::time_point written = peer.Finish().at(0);
  // Waiting for the first byte is no gap: the interval timer starts with it.
  EXPECT_EQ(burst.bytes, Iota(10));
  EXPECT_GE(burst.end - written, milliseconds(2));
  EXPECT_LT(burst.end - written, milliseconds(100));  // long before the 170 ms

  const TimedRead silence = ReadOnce(port);
  EXPECT_LT(burst.Took(), silence.Took());
}

TEST_F(SerialPortTest, SilenceReturnsNothingAfterTheTotalTimeout) {
  const TimedRead silence = ReadOnce(port);
  EXPECT_TRUE(silence.bytes.empty());
  EXPECT_GE(silence.Took(), milliseconds(170));  // 50 + 1 × 120
  EXPECT_LT(silence.Took(), milliseconds(1000));

  const TimedRead small = ReadOnce(port, 10);
  EXPECT_GE(small.Took(), milliseconds(60));  // 50 + 1 × 10
  EXPECT_LT(small.Took(), silence.Took());
}

TEST_F(SerialPortTest, ADripOfOneByteAMillisecondComesBackInOneRead) {
  std::vector<PeerStep> drip;
  for (uint8_t b = 0; b < 20; ++b) drip.push_back({milliseconds(1), {b}});
  peer.Play(std::move(drip));
  const TimedRead read = ReadOnce(port);
  peer.Finish();
  EXPECT_EQ(read.bytes, Iota(20));
}

TEST_F(SerialPortTest, AHungUpTerminalReadsNothingAfterTheFullTimeoutAndSaysWhy) {
  peer.Unplug();
  for (int i = 0; i < 2; ++i) {
    const TimedRead read = ReadOnce(port);
    EXPECT_TRUE(read.bytes.empty());
    EXPECT_GE(read.Took(), milliseconds(170));
  }
  EXPECT_EQ(port.LastError(), PortError::NotFound);
  EXPECT_EQ(port.LastErrorText(), "No such device");
}

// The reads of the panel's event loop: take what is there, never wait.
TEST_F(SerialPortTest, ReadAvailableTakesWhatHasArrivedAndThenNothingWhileThePortStaysOpen) {
  uint8_t buffer[120];
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0u);
  peer.Send(Iota(10));
  pollfd entry{port.Descriptor(), POLLIN, 0};
  ASSERT_EQ(poll(&entry, 1, 1000), 1);
  ASSERT_EQ(port.ReadAvailable(buffer, sizeof buffer), 10u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 10), Iota(10));
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0u);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(port.LastError(), PortError::None);
}

TEST_F(SerialPortTest, AHangUpClosesThePortAtTheFirstReadAndSaysTheDeviceIsGone) {
  peer.Unplug();
  uint8_t buffer[120];
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0u);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Descriptor(), -1);
  EXPECT_EQ(port.LastError(), PortError::NotFound);
  EXPECT_EQ(port.LastErrorText(), "No such device");
  EXPECT_EQ(port.ReadAvailable(buffer, sizeof buffer), 0u);
}

TEST(SerialPortOpen, ASecondOpenOfAnOpenPortIsBusyEvenForRootAndSucceedsOnceItCloses) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root: it shows that the lock keeps out root";
  PtyPeer peer;
  SerialPort first, second;
  ASSERT_TRUE(first.Open(peer.TerminalPath()));
  EXPECT_FALSE(second.Open(peer.TerminalPath()));
  EXPECT_FALSE(second.IsOpen());
  EXPECT_EQ(second.LastError(), PortError::Busy);
  EXPECT_EQ(second.LastErrorText(), "Device or resource busy");

  first.Close();
  EXPECT_FALSE(first.IsOpen());
  EXPECT_TRUE(second.Open(peer.TerminalPath())) << second.LastErrorText();
  EXPECT_EQ(second.LastError(), PortError::None);
  EXPECT_EQ(second.LastErrorText(), "");
}

// Opens `path` as the unprivileged user in a child process; the child's exit
// status is the PortError it met.
PortError OpenAsNobody(const std::string& path) {
  const passwd* nobody = getpwnam("nobody");
  if (nobody == nullptr) return PortError::Other;
  const pid_t child = fork();
  if (child == 0) {
    if (setgid(nobody->pw_gid) != 0 || setuid(nobody->pw_uid) != 0) _exit(99);
    SerialPort port;
    port.Open(path);
    _exit(static_cast<int>(port.LastError()));
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? static_cast<PortError>(WEXITSTATUS(status)) : PortError::Other;
}

TEST(SerialPortOpen, AnOrdinaryUserIsToldWhetherThePortIsForbiddenOrInUse) {
  if (geteuid() != 0 || getpwnam("nobody") == nullptr) GTEST_SKIP() << "needs root and the user nobody";
  PtyPeer peer;
  ASSERT_EQ(chmod(peer.TerminalPath().c_str(), 0600), 0);
  EXPECT_EQ(OpenAsNobody(peer.TerminalPath()), PortError::PermissionDenied);

  ASSERT_EQ(chmod(peer.TerminalPath().c_str(), 0666), 0);
  EXPECT_EQ(OpenAsNobody(peer.TerminalPath()), PortError::None);
  SerialPort holder;
  ASSERT_TRUE(holder.Open(peer.TerminalPath()));
  EXPECT_EQ(OpenAsNobody(peer.TerminalPath()), PortError::Busy);
}

TEST(SerialPortOpen, AMissingDeviceOrAFileThatIsNoTerminalDoesNotOpen) {
  const struct {
    const char* path;
    PortError kind;
    const char* text;
  } cases[] = {
      {"/dev/velkor-no-such-port", PortError::NotFound, "No such file or directory"},
      {"COM250", PortError::NotFound, "No such file or directory"},
      {"/dev/null", PortError::Other, "Inappropriate ioctl for device"},
  };
  for (const auto& c : cases) {
    SerialPort port;
    EXPECT_FALSE(port.Open(c.path)) << c.path;
    EXPECT_FALSE(port.IsOpen()) << c.path;
    EXPECT_EQ(port.LastError(), c.kind) << c.path;
    EXPECT_EQ(port.LastErrorText(), c.text) << c.path;
  }
}

}  // namespace
}  // namespace velkor::test
