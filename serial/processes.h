// processes.h: what /proc says about other programs: the name a process runs
// under, and whether a program of a given name runs at all. Used to tell the
// operator who holds a port. Plain C++ over the /proc file system.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace velkor {

inline constexpr const char* SYSTEM_PROC_DIRECTORY = "/proc";

// The program process `pid` runs, as the kernel names it (at most 15
// characters); empty when there is no such process.
std::string ProgramOf(int pid, const std::filesystem::path& proc = SYSTEM_PROC_DIRECTORY);

// Whether any process runs under this name.
bool ProgramRunning(std::string_view program, const std::filesystem::path& proc = SYSTEM_PROC_DIRECTORY);

// Whether process `pid` exists, ours to signal or not.
bool ProcessAlive(int pid);

}  // namespace velkor
