// port_error_texts_test.cpp: what the operator reads when a port will not
// open, as it really fails: a terminal this user may not open (the panel runs
// in a child process as an unprivileged user, or with the terminal's mode
// cleared when the test is not root), a terminal another program holds (the
// flock program keeps it locked), and a device that does not exist. Each
// shows "Не удалось открыть порт"; the status line's tooltip gives the
// system's reason, and only the permission case sends the operator to a group:
// the one that owns the device. Depends on Qt Test, the panel, and setpriv
// and flock.
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QProcess>
#include <QTest>

#include <grp.h>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "drive_panel_dlg.h"
#include "panel_test_support.h"
#include "status_texts.h"

using namespace velkor;

namespace {

constexpr int PATIENCE_MS = 20000;
const char* const CHOOSE_FLAG = "--choose";
const char* const SEPARATOR = "\n--- tooltip ---\n";

// The status line and its tooltip once the panel has tried the port.
QString StatusAndTooltip(const QString& path) {
  CDrivePanelDlg panel;
  panel.show();
  test::ChoosePort(panel, path);
  QWidget* status = panel.Control(ID_STATUS);
  return static_cast<QLineEdit*>(status)->text() + SEPARATOR + status->toolTip();
}

// A terminal pair whose slave side nobody but its owner may open.
struct Terminal {
  int master = -1;
  QString slave;
  Terminal() {
    int slaveFd = -1;
    char path[128] = {};
    if (openpty(&master, &slaveFd, path, nullptr, nullptr) != 0) return;
    close(slaveFd);
    slave = path;
  }
  ~Terminal() {
    if (master >= 0) close(master);
  }
};

}  // namespace

class PortErrorTextsTest : public QObject {
  Q_OBJECT

 private slots:
  void eachFailureShowsItsReasonAndOnlyPermissionNamesTheDevicesGroup_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<bool>("namesGroup");
    QTest::newRow("may not open") << "permission" << "Permission denied" << true;
    QTest::newRow("another program holds it") << "busy" << "Порт занят другой программой" << false;
    QTest::newRow("no such device") << "missing" << "No such file or directory" << false;
  }

  void eachFailureShowsItsReasonAndOnlyPermissionNamesTheDevicesGroup() {
    QFETCH(QString, failure);
    QFETCH(QString, reason);
    QFETCH(bool, namesGroup);
    // The device's group: "users" where the test may give it one, else this
    // user's own; never the usual "dialout", which must not be assumed.
    const QString group = geteuid() == 0 ? "users" : QString::fromLocal8Bit(getgrgid(getegid())->gr_name);

    Terminal terminal;
    QVERIFY2(!terminal.slave.isEmpty(), "no pseudo-terminal");
    QString shown;
    QProcess holder;
    if (failure == "permission") {
      // Root opens anything; the panel then runs as nobody, without groups.
      QProcess panel;
      QStringList command{QCoreApplication::applicationFilePath(), CHOOSE_FLAG, terminal.slave};
      if (geteuid() == 0) {
        QVERIFY(chown(terminal.slave.toLocal8Bit().constData(), 0, getgrnam("users")->gr_gid) == 0);
        command = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups"} + command;
        command.prepend("setpriv");
      } else {
        QVERIFY(chown(terminal.slave.toLocal8Bit().constData(), static_cast<uid_t>(-1), getegid()) == 0);
      }
      QVERIFY(chmod(terminal.slave.toLocal8Bit().constData(), geteuid() == 0 ? 0600 : 0) == 0);
      panel.start(command.takeFirst(), command);
      QVERIFY2(panel.waitForFinished(PATIENCE_MS), qPrintable(panel.errorString()));
      QCOMPARE(panel.exitCode(), 0);
      shown = QString::fromUtf8(panel.readAllStandardOutput());
    } else {
      if (failure == "busy") {
        holder.start("flock", {terminal.slave, "-c", "echo held; exec sleep 60"});
        QVERIFY(holder.waitForReadyRead(PATIENCE_MS));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));
      }
      shown = StatusAndTooltip(failure == "missing" ? "/dev/ttyVELKOR-none" : terminal.slave);
    }
    holder.kill();
    holder.waitForFinished();

    const QStringList parts = shown.split(SEPARATOR);
    QCOMPARE(parts.size(), 2);
    QCOMPARE(parts[0], QString::fromUtf8(STATUS_OPEN_FAILED));
    QVERIFY2(parts[1].contains(reason), qPrintable(parts[1]));
    QCOMPARE(parts[1].contains("группу " + group + " (sudo usermod -aG " + group + " $USER)"), namesGroup);
    QVERIFY(!parts[1].contains("dialout"));
  }

  // Terminal programs mark the port they use with a lock file naming their pid.
  void aPortMarkedByAnotherProgramsLockFileNamesThatProgram() {
    Terminal terminal;
    QVERIFY2(!terminal.slave.isEmpty(), "no pseudo-terminal");
    QProcess holder;
    holder.start("sleep", {"60"});
    QVERIFY(holder.waitForStarted(PATIENCE_MS));
    const qint64 pid = holder.processId();
    QFile lock("/var/lock/LCK.." + QFileInfo(terminal.slave).fileName());
    if (!lock.open(QIODevice::WriteOnly)) QSKIP("the system's lock directory is not ours to write");
    lock.write(QString("%1\n").arg(pid, 10).toLatin1());
    lock.close();

    const QStringList parts = StatusAndTooltip(terminal.slave).split(SEPARATOR);
    QByteArray lockLeft;
    if (lock.open(QIODevice::ReadOnly)) lockLeft = lock.readAll();
    lock.remove();
    holder.kill();
    holder.waitForFinished();
    QCOMPARE(parts.size(), 2);
    QCOMPARE(parts[0], QString::fromUtf8(STATUS_OPEN_FAILED));
    QCOMPARE(parts[1], QString("Device or resource busy\nПорт занят программой sleep (pid %1). "
                               "Закройте её и выберите порт снова.")
                           .arg(pid));
    QCOMPARE(lockLeft, QString("%1\n").arg(pid, 10).toLatin1());  // the owner's lock is left alone
  }
};

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (argc == 3 && QByteArray(argv[1]) == CHOOSE_FLAG) {
    std::fputs(StatusAndTooltip(QString::fromLocal8Bit(argv[2])).toUtf8().constData(), stdout);
    return 0;
  }
  PortErrorTextsTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "port_error_texts_test.moc"
