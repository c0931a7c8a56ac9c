// port_lock.h: the lock file by which serial programs (terminal emulators,
// modem dialers, this panel) tell each other that a port is in use:
// /var/lock/LCK..ttyUSB0, holding the owner's pid as ten ASCII characters and a
// newline. Depends on the standard library, POSIX file calls, processes.h and
// lock_owner.h.
#pragma once

#include <filesystem>
#include <string>

#include "lock_owner.h"

namespace velkor {

inline constexpr const char* SYSTEM_LOCK_DIRECTORY = "/var/lock";

class PortLock {
 public:
  explicit PortLock(std::filesystem::path directory = SYSTEM_LOCK_DIRECTORY);
  ~PortLock();
  PortLock(const PortLock&) = delete;
  PortLock& operator=(const PortLock&) = delete;

  // Marks the device (a symbolic link is followed to the device itself) as
  // this process's, releasing any lock held before. False when a live process
  // holds it: Holder() names that process. A lock left by a process that has
  // ended is removed. Where no lock file can be written the port goes unmarked
  // and this still succeeds: the file is a courtesy between programs, and the
  // port's own exclusive open keeps the others out.
  bool Take(const std::string& devicePath);
  // Removes our lock file, and forgets who refused the last Take.
  void Release();

  // The lock file while this process holds one; empty otherwise.
  const std::filesystem::path& File() const { return file_; }
  // The process that held the port when Take last refused it.
  const LockOwner& Holder() const { return holder_; }

 private:
  std::filesystem::path directory_;
  std::filesystem::path file_;
  LockOwner holder_;
};

// The name of the lock file for a device: "LCK.." and the device's own name.
std::string LockFileName(const std::string& devicePath);

}  // namespace velkor
