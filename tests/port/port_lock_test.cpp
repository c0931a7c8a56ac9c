// port_lock_test.cpp: the lock file that tells other serial programs a port is
// in use, in a lock directory of the test's own: a live program's lock refuses
// the port and names the program, a dead one's is replaced, the panel's own
// lock lives exactly as long as the port is held, a hang-up lets go of the
// descriptor and the lock within one read.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "port_lock.h"
#include "pty_peer.h"
#include "serial_port.h"
#include "temp_dir.h"

extern char** environ;

namespace velkor::test {
namespace {

namespace fs = std::filesystem;

// The lock file's content for a pid: ten characters, right-aligned, and a newline.
std::string LockText(int pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10d\n", pid);
  return text;
}

// A process that runs `sleep` until the test ends.
class Sleeper {
 public:
  Sleeper() {
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
    posix_spawnp(&pid_, "sleep", nullptr, nullptr, argv, environ);
  }
  ~Sleeper() {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  pid_t Pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
};

// A pid that belonged to a process which has ended.
pid_t DeadPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

// How many of this process's descriptors are open on the same file as `fd`
// (`fd` itself included): a hung-up terminal's name is gone, its inode is not.
int DescriptorsLike(int fd) {
  struct stat wanted {};
  fstat(fd, &wanted);
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    struct stat open {};
    if (stat(entry.path().c_str(), &open) == 0) count += open.st_ino == wanted.st_ino && open.st_dev == wanted.st_dev;
  }
  return count;
}

class PortLockTest : public ::testing::Test {
 protected:
  fs::path LockFile() const { return locks / ("LCK.." + fs::path(peer.TerminalPath()).filename().string()); }
  void Plant(int pid) { std::ofstream(LockFile()) << LockText(pid); }

  PtyPeer peer;
  TempDir locks;
  SerialPort port{SystemTerminalControl(), locks.Path()};
};

TEST_F(PortLockTest, AHeldPortCarriesALockWithOurPidUntilItIsClosed) {
  ASSERT_TRUE(port.Open(peer.TerminalPath())) << port.LastErrorText();
  EXPECT_EQ(FileText(LockFile()), LockText(getpid()));
  EXPECT_EQ(FileText(LockFile()).size(), 11u);
  EXPECT_EQ(port.LockFile(), LockFile());
  port.Close();
  EXPECT_FALSE(fs::exists(LockFile()));
  EXPECT_TRUE(fs::is_empty(locks.Path())) << "no scratch file is left behind";
}

TEST_F(PortLockTest, AProgramThatHoldsTheLockKeepsThePortAndIsNamed) {
  const Sleeper holder;
  Plant(holder.Pid());
  EXPECT_FALSE(port.Open(peer.TerminalPath()));
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastError(), PortError::Busy);
  EXPECT_EQ(port.LastErrorText(), "Device or resource busy");
  EXPECT_EQ(port.LockHolder().pid, holder.Pid());
  EXPECT_EQ(port.LockHolder().program, "sleep");
  EXPECT_EQ(FileText(LockFile()), LockText(holder.Pid()));
  EXPECT_EQ(DescriptorsLike(peer.TerminalFd()), 1) << "only the peer's own";

  // A refusal is forgotten by the next open that gets further.
  EXPECT_FALSE(port.Open("/dev/velkor-no-such-port"));
  EXPECT_EQ(port.LockHolder().pid, 0);
}

TEST_F(PortLockTest, ALockLeftByAProgramThatEndedOrThatNamesNoPidIsReplacedByOurs) {
  for (const std::string& leftover : {LockText(DeadPid()), std::string("garbage\n"), std::string()}) {
    SCOPED_TRACE(leftover);
    std::ofstream(LockFile()) << leftover;
    ASSERT_TRUE(port.Open(peer.TerminalPath())) << port.LastErrorText();
    EXPECT_EQ(FileText(LockFile()), LockText(getpid()));
    port.Close();
  }
}

TEST_F(PortLockTest, TheLockIsNamedAfterTheDeviceALinkLeadsTo) {
  const fs::path link = locks / "by-id-adapter";
  fs::create_symlink(peer.TerminalPath(), link);
  ASSERT_TRUE(port.Open(link.string())) << port.LastErrorText();
  EXPECT_EQ(FileText(LockFile()), LockText(getpid()));
}

TEST_F(PortLockTest, WithoutALockDirectoryThePortStillOpensAndIsStillExclusive) {
  SerialPort unmarked{SystemTerminalControl(), locks / "missing"};
  ASSERT_TRUE(unmarked.Open(peer.TerminalPath())) << unmarked.LastErrorText();
  EXPECT_TRUE(unmarked.LockFile().empty());
  EXPECT_FALSE(port.Open(peer.TerminalPath()));
  EXPECT_EQ(port.LastError(), PortError::Busy);
  EXPECT_EQ(port.LockHolder().pid, 0);
}

TEST_F(PortLockTest, AHangUpLetsGoOfTheDescriptorAndTheLockWithinOneRead) {
  ASSERT_TRUE(port.Open(peer.TerminalPath())) << port.LastErrorText();
  ASSERT_TRUE(port.SetTimeouts(DRIVER_TIMEOUTS));
  EXPECT_EQ(DescriptorsLike(peer.TerminalFd()), 2);
  peer.Unplug();
  uint8_t buffer[120];
  EXPECT_EQ(port.Read(buffer, sizeof buffer), 0u);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.LastError(), PortError::NotFound);
  EXPECT_EQ(DescriptorsLike(peer.TerminalFd()), 1) << "only the peer's own";
  EXPECT_FALSE(fs::exists(LockFile()));
}

TEST(PortLockFileName, IsLckAndTheDevicesOwnName) {
  EXPECT_EQ(LockFileName("/dev/velkor-missing/ttyUSB0"), "LCK..ttyUSB0");
  EXPECT_EQ(LockFileName("/dev/null"), "LCK..null");
}

}  // namespace
}  // namespace velkor::test
