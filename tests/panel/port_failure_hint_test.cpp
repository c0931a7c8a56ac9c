// port_failure_hint_test.cpp: the advice in the status line's tooltip for the
// facts found about a failed port (whose lock marks it, whether the system's
// modem prober runs, which group owns the device), and how those facts are
// read from /proc (a made-up one here).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "port_failure_hint.h"
#include "processes.h"
#include "temp_dir.h"

namespace velkor::test {
namespace {

namespace fs = std::filesystem;

TEST(PortFailureHint, ABusyPortNamesTheProgramWhoseLockMarksIt) {
  EXPECT_EQ(PortFailureHint(PortError::Busy, "Device or resource busy", {"", {4711, "minicom"}, true}),
            "Device or resource busy\nПорт занят программой minicom (pid 4711). Закройте её и выберите порт снова.");
  EXPECT_EQ(PortFailureHint(PortError::Busy, "Device or resource busy", {"", {4711, ""}, false}),
            "Device or resource busy\nПорт занят программой с pid 4711. Закройте её и выберите порт снова.");
}

TEST(PortFailureHint, ABusyPortWithoutALockSuspectsModemManagerOnlyWhenItRuns) {
  EXPECT_EQ(PortFailureHint(PortError::Busy, "Device or resource busy", {"", {}, true}),
            "Device or resource busy\nПорт занят другой программой. Закройте её и выберите порт снова.\n"
            "Возможно, порт проверяет ModemManager: подождите несколько секунд и выберите порт снова. "
            "Чтобы он не трогал порт, остановите его (sudo systemctl stop ModemManager).");
  EXPECT_EQ(PortFailureHint(PortError::Busy, "Device or resource busy", {"", {}, false}),
            "Device or resource busy\nПорт занят другой программой. Закройте её и выберите порт снова.");
}

TEST(PortFailureHint, APermissionFailureSendsTheOperatorToTheDevicesOwnGroup) {
  EXPECT_EQ(PortFailureHint(PortError::PermissionDenied, "Permission denied", {"uucp", {}, false}),
            "Permission denied\nНет прав на этот порт. Добавьте пользователя в группу uucp "
            "(sudo usermod -aG uucp $USER), затем выйдите из системы и войдите снова.");
  EXPECT_EQ(PortFailureHint(PortError::PermissionDenied, "Permission denied", {"root", {}, false}),
            "Permission denied\nНет прав на этот порт: им может пользоваться только root. "
            "Попросите администратора открыть вам доступ к нему.");
}

TEST(Processes, AProgramIsFoundByTheNameItRunsUnder) {
  const TempDir proc;
  const auto process = [&](const std::string& pid, const std::string& comm) {
    fs::create_directories(proc / pid);
    std::ofstream(proc / pid / "comm") << comm << "\n";
  };
  process("1", "systemd");
  process("812", "ModemManager");
  process("sys", "minicom");  // not a process: its name is no pid
  EXPECT_EQ(ProgramOf(812, proc.Path()), "ModemManager");
  EXPECT_EQ(ProgramOf(2, proc.Path()), "");
  EXPECT_TRUE(ProgramRunning("ModemManager", proc.Path()));
  EXPECT_FALSE(ProgramRunning("Modem", proc.Path()));
  EXPECT_FALSE(ProgramRunning("minicom", proc.Path()));
}

}  // namespace
}  // namespace velkor::test
