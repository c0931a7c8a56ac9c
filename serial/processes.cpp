// processes.cpp: reading process names from /proc/PID/comm.
#include "processes.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

namespace velkor {

std::string ProgramOf(int pid, const std::filesystem::path& proc) {
  std::ifstream comm(proc / std::to_string(pid) / "comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

bool ProgramRunning(std::string_view program, const std::filesystem::path& proc) {
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(proc, error)) {
    const std::string name = entry.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    if (ProgramOf(std::atoi(name.c_str()), proc) == program) return true;
  }
  return false;
}

bool ProcessAlive(int pid) {
  // EPERM: it runs, under a user we may not signal.
  return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace velkor
