// One program per serial device, whatever name each gives it.
#include "link/QtSerialPort.h"
#include "support/Pty.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <poll.h>

using namespace kelvar;

namespace {

// A pseudo-terminal that nobody answers on, known by its own name and
// through a symbolic link.
class PortLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_GE(pty.keeper, 0);
        ASSERT_TRUE(QFile::link(device, link));
    }

    static QString Held(const QString& name, const QString& program, qint64 pid) {
        return QStringLiteral("%1 is held by another program: %2 (process %3)")
            .arg(name, program)
            .arg(pid);
    }

    static QString HeldByThisProgram(const QString& name) {
        return Held(name, QFileInfo(QCoreApplication::applicationFilePath()).fileName(),
                    QCoreApplication::applicationPid());
    }

    // kelvar-cli sending one request to `name`, started.
    static void StartCli(QProcess& cli, const QString& name, int timeout) {
        cli.start(KELVAR_CLI_PATH,
                  {"--port", name, "--timeout", QString::number(timeout), "send", "1", "A"});
    }

    test::Pty pty{true};
    const QString& device = pty.device;
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("sensors"));
};

} // namespace

TEST_F(PortLockTest, EveryNameForTheDeviceIsRefusedWhileHeld) {
    // Held through its link, asked for by its own name; the other way round is the test below.
    cQtSerialPort holder;
    cQtSerialPort other;
    ASSERT_TRUE(holder.open(link, 115200)) << holder.failureText().toStdString();
    EXPECT_FALSE(other.open(device, 115200));
    EXPECT_EQ(other.failureText().toStdString(), HeldByThisProgram(device).toStdString());
    holder.close();
    EXPECT_TRUE(other.open(device, 115200)) << "closing frees the device";
}

TEST_F(PortLockTest, AnotherProgramIsToldWhoHoldsTheDeviceAndItIsFreedWhenItsHolderDies) {
    QProcess cli;
    StartCli(cli, device, 60000);
    ASSERT_TRUE(cli.waitForStarted());
    pollfd request{pty.master, POLLIN, 0};
    ASSERT_TRUE(::poll(&request, 1, 20000) == 1 && (request.revents & POLLIN) != 0)
        << "kelvar-cli writes to the device, so holds it";
    cQtSerialPort port;
    EXPECT_FALSE(port.open(link, 115200));
    EXPECT_EQ(port.failureText().toStdString(),
              Held(link, QStringLiteral("kelvar-cli"), cli.processId()).toStdString());

    cli.kill();
    ASSERT_TRUE(cli.waitForFinished(10000));
    // The dead program's lock files are left behind; they must not count.
    ASSERT_TRUE(port.open(device, 115200)) << port.failureText().toStdString();
    StartCli(cli, link, 100);
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitCode(), 2);
    const QString refused = QString::fromLocal8Bit(cli.readAllStandardError());
    EXPECT_TRUE(refused.contains(HeldByThisProgram(link)))
        << "the holder's name is renewed: " << refused.toStdString();
}
